// CParamDialog: the generic editor of a plug-in's parameters: the list "%02d: name", an
// inverted slider (top 1.0, bottom 0.0, 0..65535), the plug-in's text for the value with its
// unit, and the raw value ("%8f").
//
// Moving the slider sets the parameter at once and shows the plug-in's text for it; the raw
// value and the slider's resting place are read back from the plug-in when the movement ends
// (the mouse released, a key or a click on the groove done). With no line selected (a plug-in
// without parameters) nothing is asked and nothing refreshed.
//
//     auto* dialog = new CParamDialog(app, parentWindow);
//     dialog->FillParameters(slot);
//     dialog->OnParameterChanged(index);   // refreshes only when `index` is the selected one
//
// The effect is looked up by slot at every use, so a dialog outliving its effect asks nothing.
// Threads: the user-interface thread only.
#pragma once

#include <QWidget>

class QLabel;
class QListWidget;
class QSlider;

namespace zorvil {

class CEffect;
class CZorvilApp;

class CParamDialog : public QWidget {
    Q_OBJECT

public:
    // The dialog's size in dialog units (a quarter character across, an eighth down).
    static constexpr int kWidthDlu = 270;
    static constexpr int kHeightDlu = 155;

    CParamDialog(CZorvilApp& app, QWidget* parent = nullptr);
    ~CParamDialog() override;

    void FillParameters(int slot);
    void ShowSelectedParameter();
    void OnParameterChanged(int index);
    int EffectIndex() const noexcept { return m_nEffect; }
    // The dialog's own size (270 x 155 dialog units): the parameter window's client area.
    QSize sizeHint() const override { return m_designSize; }

    QListWidget* List() const noexcept { return m_pList; }
    QSlider* Slider() const noexcept { return m_pSlider; }
    QLabel* ParameterTextLabel() const noexcept { return m_pParamText; }
    QLabel* ValueLabel() const noexcept { return m_pValueText; }

private:
    CEffect* Effect() const;
    // The selected line's parameter number; -1 with no line selected.
    int SelectedParameter() const;
    void ShowParameterText(CEffect& effect, int index);
    void OnSliderValue(int position);

    CZorvilApp& m_app;
    int m_nEffect = -1;
    QSize m_designSize;
    QListWidget* m_pList = nullptr;
    QSlider* m_pSlider = nullptr;
    QLabel* m_pParamText = nullptr;
    QLabel* m_pValueText = nullptr;
};

} // namespace zorvil
