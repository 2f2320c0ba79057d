#pragma once
// Starts the HTTP interface beside the engine: the listener answers on libmicrohttpd's own
// thread, the webhook sender posts on a Qt thread of its own, so that neither a slow client nor
// a slow receiver ever holds up the engine or the front end. Off unless [Http] Listen or
// Webhook is set.

#include <QObject>
#include <QString>
#include <QThread>
#include <memory>

#include "contracts/EngineFigures.h"
#include "http/StatusBoard.h"
#include "storage/LogFile.h"
#include "store/Store.h"

namespace telvane::config {
class Settings;
}

namespace telvane::http {

class ApiRouter;
class HttpListener;
class WebhookSender;

class HttpHost final : public QObject {
    Q_OBJECT
public:
    /// `openStore` gives the interface's threads their connections to the store; `figures` are
    /// the engines' counts, one per modem, read for /metrics and the status answer; `log` takes the
    /// interface's "Log.txt" lines. Both must outlive this.
    HttpHost(QString iniFilePath, QString homeFolder, store::StoreOpener openStore,
             contracts::GatewayFigures figures, storage::LogWriter& log, QObject* parent = nullptr);
    /// Closes the interface and waits for its threads.
    ~HttpHost() override;

    /// Reads [Http] and, when it is on, starts listening, and posting events when Webhook is
    /// set. What came of it arrives as announced() before this returns; a refusal is also
    /// written to "Log.txt". Nothing happens when both are off.
    void launch();

public slots:
    /// The engine's status and network lines, for the status answer and the page: the program
    /// connects its engine's signals here.
    void showStatus(const QString& text) { m_board.setStatus(text); }
    void showNetwork(const QString& text) { m_board.setNetwork(text); }

signals:
    /// "Веб-интерфейс: http://127.0.0.1:8080/", or "Веб-интерфейс не запущен: " and why.
    void announced(const QString& line);
    /// A post queued a message (emitted on an answering thread).
    void messageQueued();

private:
    void listen(const config::Settings& settings);
    void post(const config::Settings& settings);
    void refuse(const QString& why);
    void note(const QString& line);

    QString m_iniFilePath;
    QString m_homeFolder;
    store::StoreOpener m_openStore;
    contracts::GatewayFigures m_figures;
    storage::LogWriter& m_log;
    StatusBoard m_board;
    std::unique_ptr<ApiRouter> m_router;
    std::unique_ptr<HttpListener> m_listener;
    std::unique_ptr<QThread> m_thread;
    WebhookSender* m_sender = nullptr;  ///< lives and dies on m_thread
};

}  // namespace telvane::http
