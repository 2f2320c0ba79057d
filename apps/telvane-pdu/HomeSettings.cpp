#include "HomeSettings.h"

#include <QString>

#include "config/CodecSettings.h"
#include "config/HomeFolder.h"
#include "config/Settings.h"

namespace telvane::pdutool {

namespace {

config::Settings settingsOf(const std::string& homeFolder) {
    const QString home = config::HomeFolder::resolve(QString::fromStdString(homeFolder), {});
    return config::Settings(config::HomeFolder::iniPath(home), home);
}

}  // namespace

codec::ReportTexts reportTextsOf(const std::string& homeFolder) {
    return config::reportTexts(settingsOf(homeFolder));
}

codec::SubmitOptions sendingOptionsOf(const std::string& homeFolder) {
    return config::sendingOptions(settingsOf(homeFolder));
}

}  // namespace telvane::pdutool
