#include "send/OutgoingCheck.h"

#include "codec/Submit.h"
#include "send/OutgoingFile.h"
#include "send/SendReasons.h"

namespace telvane::send {

std::optional<OutgoingRefusal> checkOutgoing(const QByteArray& bytes, codec::TextEncoding encoding,
                                             const QString& separator,
                                             const codec::SubmitOptions& options) {
    if (bytes.size() > static_cast<qsizetype>(kMaxOutgoingFileBytes))
        return OutgoingRefusal{apiCode(OutgoingFileError::TooLarge),
                               reasonText(OutgoingFileError::TooLarge)};
    const std::string_view raw(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const OutgoingFileResult split =
        splitOutgoingFile(codec::readUserText(raw, encoding).text, separator.toStdU32String());
    if (const auto* problem = std::get_if<OutgoingFileError>(&split))
        return OutgoingRefusal{apiCode(*problem), reasonText(*problem)};
    const auto& fields = std::get<OutgoingFields>(split);
    const codec::SubmitResult encoded =
        codec::encodeSubmit(codec::unicodeToUtf8(fields.number), fields.text, options);
    if (const auto* refused = std::get_if<codec::SubmitError>(&encoded))
        return OutgoingRefusal{QString::fromStdString(codec::textsOf(*refused).code),
                               reasonText(*refused), refused->field == codec::SubmitField::Smsc};
    return std::nullopt;
}

std::optional<OutgoingRefusal> checkTextKept(const QString& text) {
    const auto refused = [](char32_t c, qsizetype position, const QString& why) {
        return OutgoingRefusal{
            QStringLiteral("text_changed"),
            QStringLiteral("текст ушёл бы не таким, как прислан: %1 (позиция %2)")
                .arg(why.arg(
                    QStringLiteral("U+") +
                    QString::number(static_cast<uint>(c), 16).rightJustified(4, u'0').toUpper()))
                .arg(position + 1)};
    };
    qsizetype position = 0;  // in characters, as the outbox's own positions count
    for (qsizetype i = 0; i < text.size(); ++i, ++position) {
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (unit.isSurrogate())
            return refused(unit.unicode(), position,
                           QStringLiteral("одиночный суррогат %1 не является символом, вместо "
                                          "него ушёл бы знак «?»"));
    }
    const std::u32string written = text.toStdU32String();
    const std::u32string sent = codec::prepareText(trimSpaces(written), false);
    std::size_t at = 0;
    while (at < sent.size() && written[at] == sent[at]) ++at;
    if (at == written.size()) return std::nullopt;
    // The first character written that the outbox does not send in its place.
    const char32_t c = written[at];
    if (c == U'\n' || c == U'\r')
        return refused(c, static_cast<qsizetype>(at),
                       QStringLiteral("перевод строки %1 удаляется из текста сообщения, слова "
                                      "слились бы"));
    return refused(c, static_cast<qsizetype>(at),
                   QStringLiteral("пробел %1 в начале или в конце текста отбрасывается"));
}

}  // namespace telvane::send
