#include "config/CodecSettings.h"

#include "codec/SubmitFields.h"

namespace telvane::config {

codec::ReportTexts reportTexts(const Settings& settings) {
    codec::ReportTexts texts;
    texts.delivered = settings.text(setting::Delivered).toStdU32String();
    texts.sepended = settings.text(setting::Sepended).toStdU32String();
    texts.deleted = settings.text(setting::Deleted).toStdU32String();
    return texts;
}

namespace {

QString storedSmsc(const Settings& settings) {
    return settings.text(setting::SMSCWhenSending).trimmed();
}

bool isUsableSmsc(const QString& smsc) {
    return std::holds_alternative<codec::Bytes>(codec::encodeSmscField(smsc.toStdString()));
}

}  // namespace

QString ignoredSmscNote(const Settings& settings) {
    const QString smsc = storedSmsc(settings);
    if (isUsableSmsc(smsc)) return {};
    return QStringLiteral(
               "Номер SMS-центра (SMSC) \"%1\" не годится: сообщения отправляются "
               "через SMS-центр телефона")
        .arg(smsc);
}

codec::SubmitOptions sendingOptions(const Settings& settings) {
    codec::SubmitOptions options;
    const QString smsc = storedSmsc(settings);
    if (isUsableSmsc(smsc)) options.smsc = smsc.toStdString();
    options.report = settings.equalsOne(setting::Report);
    options.toLatin = settings.equalsOne(setting::ToLatin);
    options.lastLongId = settings.leadingNumber16(setting::LongID);
    return options;
}

codec::TextEncoding textEncoding(const Settings& settings) {
    const QString value = settings.text(setting::Encoding).trimmed().toLower();
    return value == u"utf-8" || value == u"utf8" ? codec::TextEncoding::Utf8
                                                 : codec::TextEncoding::Cp1251;
}

}  // namespace telvane::config
