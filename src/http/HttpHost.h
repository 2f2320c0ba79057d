#pragma once
// Puts the HTTP interface on a thread of its own, so that neither a slow client nor a large
// answer ever holds up the engine or the front end. Off unless [Http] Listen is set.

#include <QObject>
#include <QString>
#include <QThread>
#include <memory>

#include "store/Store.h"

namespace telvane::gateway {
class EngineHost;
}

namespace telvane::http {

class ApiServer;
class WebhookSender;

class HttpHost final : public QObject {
    Q_OBJECT
public:
    /// `openStore` gives the interface's thread its connection to the store.
    HttpHost(QString iniFilePath, QString homeFolder, store::StoreOpener openStore,
             QObject* parent = nullptr);
    /// Closes the interface and waits for its thread.
    ~HttpHost() override;

    /// Reads [Http] and, when it is on, starts listening on the interface's thread, and posting
    /// events when Webhook is set. What came of it arrives as announced(); a refusal is also
    /// written to "Log.txt". Nothing happens when both are off.
    void launch();
    /// Shows the status and network lines of `engine` from now on.
    void follow(gateway::EngineHost& engine);

public slots:
    /// The engine's status and network lines, for the status answer and the page.
    void showStatus(const QString& text) { emit statusSeen(text); }
    void showNetwork(const QString& text) { emit networkSeen(text); }

signals:
    /// "Веб-интерфейс: http://127.0.0.1:8080/", or "Веб-интерфейс не запущен: " and why.
    void announced(const QString& line);

    // To the interface's thread.
    void statusSeen(const QString& text);
    void networkSeen(const QString& text);

private:
    void refuse(const QString& why);

    QString m_iniFilePath;
    QString m_homeFolder;
    store::StoreOpener m_openStore;
    std::unique_ptr<QThread> m_thread;
    ApiServer* m_server = nullptr;      ///< lives and dies on m_thread
    WebhookSender* m_sender = nullptr;  ///< likewise
};

}  // namespace telvane::http
