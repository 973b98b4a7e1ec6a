#include "app/SettingsBinder.h"

#include "app/QtText.h"
#include "ui_Unit1.h"

namespace {

// A radio button set from code: checking one clears its partner; clearing one leaves the
// partner alone (an exclusive group would refuse to clear its checked button).
void SetRadio(QAbstractButton* button, bool checked) {
    if (checked) {
        button->setChecked(true);
        return;
    }
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(exclusive);
}

} // namespace

SettingsBinder::SettingsBinder(const Ui::TForm1& ui)
    : controls_{ui.ComboBox1, nullptr,     ui.RadioButton9, ui.RadioButton10, ui.Edit4,
                ui.Edit2,     ui.NumEdit2, ui.CheckBox3,    ui.CheckBox1,     ui.CheckBox2} {
    static_assert(core::SettingsSchema[1].kind == core::SettingKey::Constant);
}

void SettingsBinder::Load(const std::vector<std::string>& values) const {
    for (size_t i = 0; i < controls_.size() && i < values.size(); ++i) {
        QWidget* control = controls_[i];
        const std::string& value = values[i];
        if (auto* radio = qobject_cast<QRadioButton*>(control)) {
            SetRadio(radio, value == "1");
        } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
            check->setChecked(value == "1");
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            combo->setCurrentText(DisplayText(value));
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(DisplayText(value));
        }
    }
}

core::SettingsValues SettingsBinder::Values() const {
    core::SettingsValues values;
    for (size_t i = 0; i < controls_.size(); ++i) {
        const core::SettingKey& key = core::SettingsSchema[i];
        const QWidget* control = controls_[i];
        if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
            values.SetFlag(key, button->isChecked());
        } else if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
            values.SetText(key, StoredText(combo->currentText()));
        } else if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
            values.SetText(key, StoredText(edit->text()));
        }
    }
    return values;
}
