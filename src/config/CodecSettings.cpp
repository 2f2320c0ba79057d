#include "config/CodecSettings.h"

namespace telvane::config {

codec::ReportTexts reportTexts(const Settings& settings) {
    codec::ReportTexts texts;
    texts.delivered = settings.text(setting::Delivered).toStdU32String();
    texts.sepended = settings.text(setting::Sepended).toStdU32String();
    texts.deleted = settings.text(setting::Deleted).toStdU32String();
    return texts;
}

codec::SubmitOptions sendingOptions(const Settings& settings) {
    codec::SubmitOptions options;
    options.smsc = settings.text(setting::SMSCWhenSending).trimmed().toStdString();
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
