#pragma once

#include <QString>

#include <initializer_list>
#include <utility>
#include <vector>

class QWidget;

// Which edits the book takes now, shown on the controls that make them: a shared book that
// cannot be changed stops them all, a filter or a sort stops the moves; each disabled control's
// tooltip says why, and its own tooltip comes back once it is enabled again.
class EditingControls {
public:
    EditingControls(std::initializer_list<QWidget*> edits, std::initializer_list<QWidget*> moves);

    // Why the book takes no edit now, and why no move; empty where it does.
    void Update(const QString& noEdit, const QString& noMove) const;

private:
    std::vector<std::pair<QWidget*, QString>> edits_;
    std::vector<std::pair<QWidget*, QString>> moves_;
};
