#pragma once
// The program's name, edition, version and release date, the modem programs it
// works with, a picture and the warranty disclaimer.

#include <QString>
#include <QWidget>

class QLabel;

namespace varne4::ui {

inline constexpr const char* kVersionText = "1.7.1";
inline constexpr const char* kReleaseDateText = "September 24, 2014";

QString versionLine();
QString disclaimerText();

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);
};

} // namespace varne4::ui
