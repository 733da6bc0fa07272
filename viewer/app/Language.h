// The interface language: installing the translation at start, and switching between English
// and Chinese, which takes effect after the program restarts itself. GUI thread only.
#pragma once

#include <QString>

#include <functional>

class AppConfig;
class QTranslator;
class QWidget;

namespace language {

// Loads ":/app_zh.qm" for "zh" and ":/app_en.qm" for anything else and installs it in the
// application, which owns it. Returns the translator, or nullptr when nothing was installed.
QTranslator* installTranslator(const QString& language);

// "en" <-> "zh".
QString otherLanguage(const QString& language);

// Starts a detached new instance of this executable, without arguments.
void restartApplication();

// Asks whether to restart; on "Restart" switches `config`'s language, saves it, closes every
// window and calls `restart`. Returns whether the user chose to restart.
bool askAndChangeLanguage(QWidget* parent, AppConfig& config,
                          const std::function<void()>& restart = restartApplication);

}  // namespace language
