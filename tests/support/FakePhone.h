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
    bool SendToPhone(const QByteArray& command, const QString& action, const QString& wait,
                     int delay) override;
    const QByteArray& gsBuffer() const override { return m_buffer; }
    void PurgeBuffer() override { ++purges; }
    void FinCom() override { log << QStringLiteral("close"); }
    void setLogFolder(const QString&) override {}

    /// The list entries still held, as "ME1", "SM2".
    QStringList left() const;

    bool portOpens = true;
    bool silent = false;  ///< no answer to anything
    bool deletesWork = true;
    /// The next answers, one letter a transaction, before the usual ones: p the prompt, k OK
    /// after a PDU, o OK, e ERROR, c +CMS ERROR: 500, C +CMS ERROR: 304 (for good), s silence.
    std::string script;
    std::map<QByteArray, Memory> memories{{"ME", {}}, {"SM", {}}};
    std::function<void()> onDelete;  ///< runs as a delete reaches the phone

    QStringList log;  ///< "open", "close", and "COMMAND|ACTION|DELAY" with <CR> and <LF>
    QList<QByteArray> commands;
    QList<QByteArray> pdus;  ///< without their Ctrl-Z
    int purges = 0;

private:
    QByteArray listed(const Memory& memory) const;

    QByteArray m_selected = "ME";
    QByteArray m_buffer;
};

}  // namespace telvane::test
