#include "support/FakePhone.h"

namespace telvane::test {

namespace {

QByteArray indexOf(const QByteArray& header) { return header.mid(7).split(',').first().trimmed(); }

}  // namespace

contracts::PortOpening FakePhone::OpenPort() {
    log << QStringLiteral("open");
    using Outcome = contracts::PortOpening::Outcome;
    return {portOpens ? Outcome::Opened : Outcome::NotOpened, {}};
}

bool FakePhone::SendToPhone(const QByteArray& command, const QString& action, const QString& wait,
                            int delay) {
    log << QString::fromLatin1(command)
                   .replace(u'\r', QStringLiteral("<CR>"))
                   .replace(u'\n', QStringLiteral("<LF>")) +
               u'|' + action + u'|' + QString::number(delay);
    commands << command;
    const bool isPdu = command.endsWith('\x1a');
    if (isPdu) pdus << command.chopped(1);
    char answer = silent                             ? 's'
                  : command.startsWith("at+cmgs=")   ? 'p'
                  : isPdu                            ? 'k'
                  : command == QByteArray(1, '\x1b') ? 's'
                                                     : 'o';
    if (!script.empty()) answer = script.front(), script.erase(0, 1);
    m_buffer = answer == 'p'   ? QByteArray("\r\n> ")
               : answer == 'k' ? QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n")
               : answer == 'o' ? command + "\r\nOK\r\n"
               : answer == 'e' ? QByteArray("\r\nERROR\r\n")
               : answer == 'c' ? QByteArray("\r\n+CMS ERROR: 500\r\n")
               : answer == 'C' ? QByteArray("\r\n+CMS ERROR: 304\r\n")
                               : QByteArray();
    if (answer == 'o' && command.startsWith("AT+CPMS=\"")) {
        m_selected = command.mid(9, 2);
        if (!memories[m_selected].selectable) m_buffer = command + "\r\n+CMS ERROR: 310\r\n";
    } else if (answer == 'o' && command == "AT+CMGL=4\r\n") {
        const Memory& memory = memories[m_selected];
        m_buffer = memory.lists ? listed(memory) : command + "\r\nERROR\r\n";
    } else if (answer == 'o' && command.startsWith("at+cmgd=")) {
        if (onDelete) onDelete();
        if (!deletesWork)
            m_buffer.clear();
        else
            memories[m_selected].deleted.insert(command.mid(8).chopped(1));
    }
    return contracts::classifyReply(m_buffer, wait.toLatin1()) == contracts::ReplyState::Answered;
}

QByteArray FakePhone::listed(const Memory& memory) const {
    const QList<QByteArray> lines = memory.answer.split('\n');
    QList<QByteArray> kept;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith("+CMGL: ") && memory.deleted.contains(indexOf(lines[i])))
            ++i;  // and its PDU line
        else
            kept << lines[i];
    }
    return kept.join('\n');
}

QStringList FakePhone::left() const {
    QStringList out;
    for (const auto& [name, memory] : memories)
        for (const QByteArray& line : listed(memory).split('\n'))
            if (line.startsWith("+CMGL: ")) out << QString::fromLatin1(name + indexOf(line));
    return out;
}

}  // namespace telvane::test
