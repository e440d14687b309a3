#pragma once
// The program's name, edition, version and release date, the modem programs it
// works with, a picture and the warranty disclaimer.
//
//   objectName        what it shows
//   ----------------  ----------------------------------------------
//   Info              AboutWindow
//   Image1            the photograph
//   Label1, Label12   the program's name and edition
//   Frame1, Label2    versionLine(): the program's version and release date
//   Label9            the modem programs
//   Label11           disclaimerText()

#include <QString>
#include <QWidget>

class QLabel;

namespace varne4::ui {

QString versionLine();
QString disclaimerText();

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);
};

} // namespace varne4::ui
