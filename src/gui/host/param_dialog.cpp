#include "gui/host/param_dialog.h"

namespace zorvil {

CParamDialog::CParamDialog(CZorvilApp& app, QWidget* parent) : QWidget(parent), m_app(app) {}

CParamDialog::~CParamDialog() = default;

void CParamDialog::FillParameters(int slot) {
    m_nEffect = slot;
}
void CParamDialog::ShowSelectedParameter() {}
void CParamDialog::OnParameterChanged(int) {}

} // namespace zorvil
