#include "gui/host/param_dialog.h"

#include "app/parameter_view.h"
#include "app/zorvil_app.h"
#include "gui/app/qt_text.h"

#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSlider>

namespace zorvil {

namespace {

// Dialog units: a quarter of the font's average character width across, an eighth of its
// height down, so the dialog keeps its proportions with the user's font.
struct DialogUnits {
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        x = metrics.averageCharWidth() / 4.0;
        y = metrics.height() / 8.0;
    }
    QRect Rect(int left, int top, int width, int height) const {
        return {qRound(left * x), qRound(top * y), qRound(width * x), qRound(height * y)};
    }
    double x;
    double y;
};

} // namespace

CParamDialog::CParamDialog(CZorvilApp& app, QWidget* parent)
    : QWidget(parent), m_app(app), m_pList(new QListWidget(this)),
      m_pSlider(new QSlider(Qt::Vertical, this)),
      m_pParamText(new QLabel(tr("Current Parameter Text"), this)), m_pValueText(new QLabel(this)) {
    const DialogUnits units(font());
    m_designSize = units.Rect(0, 0, kWidthDlu, kHeightDlu).size();
    resize(m_designSize);
    m_pList->setGeometry(units.Rect(7, 7, 207, 129));
    m_pSlider->setGeometry(units.Rect(235, 7, 15, 129));
    m_pParamText->setGeometry(units.Rect(7, 138, 207, 12));
    // Wide enough for "%8f" in fonts wider than the one the layout was drawn for.
    m_pValueText->setGeometry(units.Rect(219, 137, 47, 13));

    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    // The top of the slider is position 0, the plug-in's 1.0.
    m_pSlider->setRange(0, kSliderMaximum);
    m_pSlider->setInvertedAppearance(true);
    m_pSlider->setInvertedControls(true);
    m_pSlider->setPageStep(kSliderMaximum / 10);
    m_pSlider->setSingleStep(kSliderMaximum / 100);
    m_pParamText->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pParamText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pValueText->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pValueText->setAlignment(Qt::AlignCenter);

    connect(m_pList, &QListWidget::currentRowChanged, this, [this] { ShowSelectedParameter(); });
    connect(m_pSlider, &QSlider::valueChanged, this, &CParamDialog::OnSliderValue);
    connect(m_pSlider, &QSlider::sliderReleased, this, [this] { ShowSelectedParameter(); });
}

CParamDialog::~CParamDialog() = default;

CEffect* CParamDialog::Effect() const {
    return m_nEffect >= 0 ? m_app.Host().GetEffect(m_nEffect) : nullptr;
}

int CParamDialog::SelectedParameter() const {
    const QListWidgetItem* item = m_pList->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toInt() : -1;
}

void CParamDialog::FillParameters(int slot) {
    m_nEffect = slot;
    {
        const QSignalBlocker blocker(m_pList);
        m_pList->clear();
        if (CEffect* effect = Effect()) {
            int index = 0;
            for (const std::string& line : ParameterLines(*effect)) {
                auto* item = new QListWidgetItem(ToQString(line), m_pList);
                item->setData(Qt::UserRole, index++);
            }
            if (m_pList->count() > 0) m_pList->setCurrentRow(0);
        }
    }
    ShowSelectedParameter();
}

void CParamDialog::ShowSelectedParameter() {
    const int index = SelectedParameter();
    if (index < 0) return;
    float value = 0.0f;
    if (CEffect* effect = Effect()) {
        ShowParameterText(*effect, index);
        value = effect->GetParameter(index);
    }
    m_pValueText->setText(ToQString(ParameterValueText(value)));
    const QSignalBlocker blocker(m_pSlider);
    m_pSlider->setValue(SliderPosition(value));
    m_pSlider->update();
}

void CParamDialog::ShowParameterText(CEffect& effect, int index) {
    m_pParamText->setText(ToQString(ParameterText(effect, index)));
}

void CParamDialog::OnParameterChanged(int index) {
    if (index >= 0 && index == SelectedParameter()) ShowSelectedParameter();
}

void CParamDialog::OnSliderValue(int position) {
    const int index = SelectedParameter();
    if (index < 0) return;
    if (CEffect* effect = Effect()) {
        effect->SetParameter(index, SliderValue(position));
        ShowParameterText(*effect, index);
    }
    // A key, a click on the groove or the wheel ends its movement at once; a drag ends when
    // the mouse lets go of the handle.
    if (!m_pSlider->isSliderDown()) ShowSelectedParameter();
}

} // namespace zorvil
