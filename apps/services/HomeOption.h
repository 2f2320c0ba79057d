#pragma once
// The --home option that every program takes, and the home folder it leads to.

#include <QCommandLineOption>
#include <QString>

namespace telvane::services {

QCommandLineOption homeOption();

/// The home folder for a --home value (may be empty), created when missing; ends in a separator.
QString prepareHome(const QString& homeOverride);

}  // namespace telvane::services
