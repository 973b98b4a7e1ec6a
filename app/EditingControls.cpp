#include "app/EditingControls.h"

#include <QWidget>

EditingControls::EditingControls(std::initializer_list<QWidget*> edits,
                                 std::initializer_list<QWidget*> moves) {
    for (QWidget* edit : edits) {
        edits_.emplace_back(edit, edit->toolTip());
    }
    for (QWidget* move : moves) {
        moves_.emplace_back(move, move->toolTip());
    }
}

void EditingControls::Update(const QString& noEdit, const QString& notMoved) const {
    for (const auto* controls : {&edits_, &moves_}) {
        for (const auto& [control, tip] : *controls) {
            const QString why = !noEdit.isEmpty()     ? noEdit
                                : controls == &moves_ ? notMoved
                                                      : QString();
            control->setEnabled(why.isEmpty());
            control->setToolTip(why.isEmpty() ? tip : why);
        }
    }
}
