// CParamDialog: the generic editor of a plug-in's parameters: the list "%02d: name", an
// inverted slider (top 1.0, bottom 0.0, 0..65535), the plug-in's text for the value with its
// unit, and the raw value ("%8f").
//
//     auto* dialog = new CParamDialog(app, parentWindow);
//     dialog->FillParameters(slot);
//     dialog->OnParameterChanged(index);   // refreshes only when `index` is the selected one
//
// Threads: the user-interface thread only.
#pragma once

#include <QWidget>

namespace zorvil {

class CZorvilApp;

class CParamDialog : public QWidget {
    Q_OBJECT

public:
    CParamDialog(CZorvilApp& app, QWidget* parent = nullptr);
    ~CParamDialog() override;

    void FillParameters(int slot);
    void ShowSelectedParameter();
    void OnParameterChanged(int index);
    int EffectIndex() const noexcept { return m_nEffect; }

private:
    CZorvilApp& m_app;
    int m_nEffect = -1;
};

} // namespace zorvil
