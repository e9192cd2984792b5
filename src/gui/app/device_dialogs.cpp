#include "gui/app/device_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace zorvil {

namespace {

// Shows the dialog modally; its choice on OK, nothing on Cancel.
template <typename Dialog, typename Choice, typename Request>
std::optional<Choice> Ask(const Request& request, QWidget* parent) {
    Dialog dialog(request, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Choice();
}

} // namespace

CDeviceDialog::CDeviceDialog(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    m_pForm = new QFormLayout;
    m_pForm->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    layout->addLayout(m_pForm);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QComboBox* CDeviceDialog::AddCombo(const QString& label, const DeviceCombo& combo,
                                   const char* objectName, const QString& unit) {
    auto* box = new QComboBox(this);
    box->setObjectName(QString::fromLatin1(objectName));
    for (const DeviceEntry& entry : combo.entries)
        box->addItem(QString::fromStdString(entry.text));
    box->setCurrentIndex(combo.selected);
    auto* caption = new QLabel(label, this);
    caption->setBuddy(box); // its mnemonic selects the box
    if (unit.isEmpty()) {
        // Device names: every box as wide as the dialog allows.
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_pForm->addRow(caption, box);
    } else {
        auto* row = new QHBoxLayout;
        row->addWidget(box);
        row->addWidget(new QLabel(unit, this));
        row->addStretch();
        m_pForm->addRow(caption, row);
    }
    return box;
}

CMidiDevicesDlg::CMidiDevicesDlg(const MidiDevicesRequest& request, QWidget* parent)
    : CDeviceDialog(QString::fromLatin1(kTitle), parent) {
    m_pInput = AddCombo(tr("MIDI &input:"), request.input, "midiInput");
    m_pOutput = AddCombo(tr("MIDI &output:"), request.output, "midiOutput");
    m_pThru = new QCheckBox(tr("&Pass Through to Output"), this);
    m_pThru->setObjectName(QStringLiteral("passThrough"));
    m_pThru->setChecked(request.thru);
    Form()->addRow(QString(), m_pThru);
}

MidiDevicesChoice CMidiDevicesDlg::Choice() const {
    return {m_pInput->currentIndex(), m_pOutput->currentIndex(), m_pThru->isChecked()};
}

CWaveDevicesDlg::CWaveDevicesDlg(const WaveDevicesRequest& request, QWidget* parent)
    : CDeviceDialog(QString::fromLatin1(kTitle), parent) {
    m_pInput = AddCombo(tr("Wave &input:"), request.input, "waveInput");
    m_pOutput = AddCombo(tr("Wave &output:"), request.output, "waveOutput");
    m_pBufferSize = AddCombo(tr("&Buffer size:"), request.bufferSize, "bufferSize");
    connect(m_pOutput, &QComboBox::currentIndexChanged, this, &CWaveDevicesDlg::OnOutputChanged);
    OnOutputChanged();
}

void CWaveDevicesDlg::OnOutputChanged() {
    // The program has no ASIO driver: with an ASIO output the input is not chosen.
    m_pInput->setEnabled(!IsAsioName(m_pOutput->currentText().toStdString()));
}

WaveDevicesChoice CWaveDevicesDlg::Choice() const {
    return {m_pInput->currentIndex(), m_pOutput->currentIndex(), m_pBufferSize->currentIndex()};
}

CDevicesDlg::CDevicesDlg(const DevicesRequest& request, QWidget* parent)
    : CDeviceDialog(QString::fromLatin1(kTitle), parent) {
    m_pMidiInput = AddCombo(tr("MIDI &input:"), request.midiInput, "midiInput");
    m_pWaveOutput = AddCombo(tr("Wave &output:"), request.waveOutput, "waveOutput");
    m_pBufferSize = AddCombo(tr("&Buffer size:"), request.bufferSize, "bufferSize", tr("samples"));
    m_pRenderAdjust =
        AddCombo(tr("&Render adjust:"), request.renderAdjust, "renderAdjust", tr("buffers"));
}

DevicesChoice CDevicesDlg::Choice() const {
    return {m_pMidiInput->currentIndex(), m_pWaveOutput->currentIndex(),
            m_pBufferSize->currentIndex(), m_pRenderAdjust->currentIndex()};
}

std::optional<MidiDevicesChoice>
CQtDeviceDialogs::SelectMidiDevices(const MidiDevicesRequest& request) {
    return Ask<CMidiDevicesDlg, MidiDevicesChoice>(request, m_parent);
}

std::optional<WaveDevicesChoice>
CQtDeviceDialogs::SelectWaveDevices(const WaveDevicesRequest& request) {
    return Ask<CWaveDevicesDlg, WaveDevicesChoice>(request, m_parent);
}

std::optional<DevicesChoice> CQtDeviceDialogs::SelectDevices(const DevicesRequest& request) {
    return Ask<CDevicesDlg, DevicesChoice>(request, m_parent);
}

} // namespace zorvil
