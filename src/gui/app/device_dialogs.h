// The device dialogs on the desktop: "Select MIDI Devices", "Select Wave Devices" and
// "Select devices", and CQtDeviceDialogs, which shows them for the application.
//
// Each dialog presents the combos of its request (app/device_dialogs.h) with the entries the
// request selects and hands back the index chosen in each; what the choice means is the
// application's business. "Select Wave Devices" disables its input combo while the output's text
// begins with "ASIO: ".
//
//     CQtDeviceDialogs dialogs(&mainFrame);
//     app.SetDeviceDialogs(&dialogs);
//     app.OnCommand(command::kWaveDevices); // shows "Select Wave Devices", modal
//
// Threads: the user-interface thread.
#pragma once

#include "app/device_dialogs.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QFormLayout;

namespace zorvil {

// What the three dialogs share: a form of combos above OK and Cancel.
class CDeviceDialog : public QDialog {
    Q_OBJECT

public:
    CDeviceDialog(const QString& title, QWidget* parent);

protected:
    // A combo box holding `combo`'s entries, `combo.selected` selected, in a row of the form
    // under `label`; `unit` (if any) stands beside the box.
    QComboBox* AddCombo(const QString& label, const DeviceCombo& combo, const char* objectName,
                        const QString& unit = {});
    QFormLayout* Form() const noexcept { return m_pForm; }

private:
    QFormLayout* m_pForm = nullptr;
};

class CMidiDevicesDlg : public CDeviceDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Select MIDI Devices";
    CMidiDevicesDlg(const MidiDevicesRequest& request, QWidget* parent);
    MidiDevicesChoice Choice() const;

private:
    QCheckBox* m_pThru = nullptr;
    QComboBox* m_pInput = nullptr;
    QComboBox* m_pOutput = nullptr;
};

class CWaveDevicesDlg : public CDeviceDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Select Wave Devices";
    CWaveDevicesDlg(const WaveDevicesRequest& request, QWidget* parent);
    WaveDevicesChoice Choice() const;

private:
    void OnOutputChanged();

    QComboBox* m_pInput = nullptr;
    QComboBox* m_pOutput = nullptr;
    QComboBox* m_pBufferSize = nullptr;
};

class CDevicesDlg : public CDeviceDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "Select devices";
    CDevicesDlg(const DevicesRequest& request, QWidget* parent);
    DevicesChoice Choice() const;

private:
    QComboBox* m_pMidiInput = nullptr;
    QComboBox* m_pWaveOutput = nullptr;
    QComboBox* m_pBufferSize = nullptr;
    QComboBox* m_pRenderAdjust = nullptr;
};

class CQtDeviceDialogs : public IDeviceDialogs {
public:
    // The dialogs are centred on `parent` (the main frame).
    explicit CQtDeviceDialogs(QWidget* parent) : m_parent(parent) {}

    std::optional<MidiDevicesChoice> SelectMidiDevices(const MidiDevicesRequest& request) override;
    std::optional<WaveDevicesChoice> SelectWaveDevices(const WaveDevicesRequest& request) override;
    std::optional<DevicesChoice> SelectDevices(const DevicesRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace zorvil
