// CAboutBox: "About Zorvil": the program's icon, its version and the plug-in technology line,
// and an OK button. Shown modally; nothing is read back.
//
//     CAboutBox(mainFrame).exec();
#pragma once

#include <QDialog>

namespace zorvil {

class CAboutBox : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "About Zorvil";
    static constexpr const char* kVersionLine = "Zorvil version 0.9c";
    static constexpr const char* kTechnologyLine = "VST PlugIn Technology by Steinberg";

    explicit CAboutBox(QWidget* parent = nullptr);
};

} // namespace zorvil
