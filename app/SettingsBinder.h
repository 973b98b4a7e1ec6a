#pragma once

#include "core/Settings.h"

#include <array>
#include <string>
#include <vector>

class QWidget;
namespace Ui {
class TForm1;
}

// The settings file's keys and the window's controls that show them: loads the values into the
// controls and reads them back for the close. Each key's control is named here, in the schema's
// order, so a missing or misspelt control does not compile.
class SettingsBinder {
public:
    explicit SettingsBinder(const Ui::TForm1& ui);

    // Values in the schema's order, as core::SettingsReader::Values gives them.
    void Load(const std::vector<std::string>& values) const;
    core::SettingsValues Values() const;

private:
    // The control of each key; none for a constant.
    std::array<QWidget*, core::SettingsSchema.size()> controls_;
};
