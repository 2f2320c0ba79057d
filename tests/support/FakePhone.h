#pragma once
// The one fake phone of the suite: it answers like a working phone (OK to a command, the prompt
// to at+cmgs=, OK after a PDU, silence to ESC, list answers from its two memories, a delete
// taking the entry out of later lists) unless its script or its switches say otherwise, and it
// records every transaction.

#include <QSet>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>

#include "contracts/PhoneLink.h"

namespace telvane::test {

class FakePhone final : public contracts::PhoneLink {
public:
    struct Memory {
        bool selectable = true;    ///< AT+CPMS answers OK
        bool lists = true;         ///< AT+CMGL=4 answers
        QByteArray answer;         ///< the captured list answer
        QSet<QByteArray> deleted;  ///< indexes deleted since
    };

    QString portDescription() const override { return QStringLiteral("COM1; 9600; n,8,1"); }
    contracts::PortOpening OpenPort() override;
    contracts::ExchangeResult exchange(const contracts::Exchange& request) override;
    contracts::ExchangeResult resynchronise(int ceiling, QByteArray* late) override;
    const QByteArray& lastReply() const override { return m_buffer; }
    quint64 connection() const override { return m_connection; }
    quint64 syncEpoch() const override { return m_epoch; }
    bool halted() const override { return lost || interrupted; }
    void interrupt() override { interrupted = true; }
    std::vector<replies::Delivery> takeDeliveries() override {
        return std::exchange(deliveries, {});
    }
    void PurgeBuffer() override { ++purges; }
    void FinCom() override { log << QStringLiteral("close"); }
    void setLogFolder(const QString&) override {}

    /// The list entries still held, as "ME1", "SM2".
    QStringList left() const;

    bool portOpens = true;
    bool silent = false;  ///< no answer to anything
    bool deletesWork = true;
    bool lost = false;  ///< the port is gone: every transaction ends at once
    bool interrupted = false;
    /// The next answers, one letter a transaction, before the usual ones: p the prompt, k OK
    /// after a PDU, o OK, e ERROR, c +CMS ERROR: 500, C +CMS ERROR: 304 (for good), s silence,
    /// l silence with the usual answer coming late (at the next resynchronisation), x the port
    /// vanishes.
    std::string script;
    /// Answers to commands (exact, terminator included) in place of a bare OK.
    std::map<QByteArray, QByteArray> answers;
    std::map<QByteArray, Memory> memories{{"ME", {}}, {"SM", {}}};
    std::vector<replies::Delivery> deliveries;  ///< passed to the host, taken by the next poll
    std::function<void()> onDelete;             ///< runs as a delete reaches the phone

    /// "open", "close", "resync", and "COMMAND|ACTION|DELAY" with <CR>, <LF> and <ESC>
    QStringList log;
    QList<QByteArray> commands;
    QList<QByteArray> pdus;  ///< without their Ctrl-Z
    int purges = 0;

private:
    QByteArray listed(const Memory& memory) const;

    QByteArray m_selected = "ME";
    QByteArray m_buffer;
    QByteArray m_late;
    bool m_needsResync = false;
    quint64 m_connection = 0;
    quint64 m_epoch = 0;
};

}  // namespace telvane::test
