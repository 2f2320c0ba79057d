#include "support/FakePhone.h"

namespace telvane::test {

namespace {

QByteArray indexOf(const QByteArray& header) { return header.mid(7).split(',').first().trimmed(); }

}  // namespace

contracts::PortOpening FakePhone::OpenPort() {
    log << QStringLiteral("open");
    using Outcome = contracts::PortOpening::Outcome;
    if (!portOpens) return {Outcome::NotOpened, {}};
    ++m_connection;
    ++m_epoch;
    m_needsResync = true;
    lost = interrupted = false;
    return {Outcome::Opened, {}};
}

contracts::ExchangeResult FakePhone::resynchronise(int, QByteArray* late) {
    using contracts::ExchangeOutcome;
    if (lost) return {ExchangeOutcome::PortLost, {}};
    log << QStringLiteral("resync");
    if (silent) return {ExchangeOutcome::TimedOut, {}};
    if (late) *late = m_late;
    m_late.clear();
    m_needsResync = false;
    return {ExchangeOutcome::Answered, {replies::FinalResult::Kind::Ok, {}, {}}};
}

contracts::ExchangeResult FakePhone::exchange(const contracts::Exchange& request) {
    using contracts::ExchangeOutcome;
    const QByteArray& command = request.command;
    if (lost || interrupted)
        return {lost ? ExchangeOutcome::PortLost : ExchangeOutcome::Interrupted, {}};
    if (m_needsResync) {
        const contracts::ExchangeResult synced = resynchronise(5, nullptr);
        if (!synced.answered()) return synced;
    }
    log << QString::fromLatin1(command)
                   .replace(u'\r', QStringLiteral("<CR>"))
                   .replace(u'\n', QStringLiteral("<LF>"))
                   .replace(u'\x1b', QStringLiteral("<ESC>")) +
               u'|' + request.action + u'|' + QString::number(request.delay);
    commands << command;
    const bool isPdu = command.endsWith('\x1a');
    if (isPdu) pdus << command.chopped(1);
    char answer = silent                             ? 's'
                  : command.startsWith("at+cmgs=")   ? 'p'
                  : isPdu                            ? 'k'
                  : command == QByteArray(1, '\x1b') ? 's'
                                                     : 'o';
    if (!script.empty()) answer = script.front(), script.erase(0, 1);
    if (answer == 'x') {
        lost = true;
        return {ExchangeOutcome::PortLost, {}};
    }
    const char usual = command.startsWith("at+cmgs=") ? 'p' : isPdu ? 'k' : 'o';
    const char given = answer == 'l' ? usual : answer;
    m_buffer = given == 'p'   ? QByteArray("\r\n> ")
               : given == 'k' ? QByteArray("\r\n+CMGS: 1\r\n\r\nOK\r\n")
               : given == 'o' ? command + "\r\nOK\r\n"
               : given == 'e' ? QByteArray("\r\nERROR\r\n")
               : given == 'c' ? QByteArray("\r\n+CMS ERROR: 500\r\n")
               : given == 'C' ? QByteArray("\r\n+CMS ERROR: 304\r\n")
                              : QByteArray();
    if (given == 'o' && answers.contains(command)) m_buffer = command + answers.at(command);
    if (given == 'o' && command.startsWith("AT+CPMS=\"")) {
        m_selected = command.mid(9, 2);
        if (!memories[m_selected].selectable) m_buffer = command + "\r\n+CMS ERROR: 310\r\n";
    } else if (given == 'o' && command == "AT+CMGL=4\r\n") {
        const Memory& memory = memories[m_selected];
        m_buffer = memory.lists ? listed(memory) : command + "\r\nERROR\r\n";
    } else if (given == 'o' && command.startsWith("at+cmgd=")) {
        if (onDelete) onDelete();
        if (!deletesWork)
            m_buffer.clear();
        else
            memories[m_selected].deleted.insert(command.mid(8).chopped(1));
    }
    if (answer == 'l') m_late += std::exchange(m_buffer, {});
    if (request.onProgress && !m_buffer.isEmpty()) request.onProgress(m_buffer);
    if (m_buffer.isEmpty()) {
        m_needsResync = true;
        ++m_epoch;
        return {ExchangeOutcome::TimedOut, {}};
    }
    const auto state = contracts::classifyReply(m_buffer, request.wait.toLatin1());
    if (state == contracts::ReplyState::Pending) {
        m_needsResync = true;
        ++m_epoch;
        return {ExchangeOutcome::TimedOut, {}};
    }
    return {state == contracts::ReplyState::Answered ? ExchangeOutcome::Answered
                                                     : ExchangeOutcome::Refused,
            replies::finalResultOf(m_buffer.toStdString())};
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
