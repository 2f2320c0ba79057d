#include "HomeSettings.h"

#include <QString>

#include "config/HomeFolder.h"
#include "config/Settings.h"

namespace telvane::pdutool {

namespace {

config::Settings settingsOf(const std::string& homeFolder) {
    const QString home = config::HomeFolder::resolve(QString::fromStdString(homeFolder), {});
    return config::Settings(config::HomeFolder::iniPath(home), home);
}

std::u32string text(const config::Settings& settings, const config::Setting& setting) {
    return settings.text(setting).toStdU32String();
}

}  // namespace

codec::ReportTexts reportTextsOf(const std::string& homeFolder) {
    const config::Settings settings = settingsOf(homeFolder);
    codec::ReportTexts texts;
    texts.delivered = text(settings, config::setting::Delivered);
    texts.sepended = text(settings, config::setting::Sepended);
    texts.deleted = text(settings, config::setting::Deleted);
    return texts;
}

codec::SubmitOptions sendingOptionsOf(const std::string& homeFolder) {
    const config::Settings settings = settingsOf(homeFolder);
    codec::SubmitOptions options;
    options.smsc = settings.text(config::setting::SMSCWhenSending).trimmed().toStdString();
    options.report = settings.equalsOne(config::setting::Report);
    options.toLatin = settings.equalsOne(config::setting::ToLatin);
    options.lastLongId = settings.leadingNumber16(config::setting::LongID);
    return options;
}

}  // namespace telvane::pdutool
