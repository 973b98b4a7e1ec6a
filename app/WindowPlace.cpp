#include "app/WindowPlace.h"

#include "app/ClientTable.h"
#include "app/ListBox.h"
#include "app/UserSettings.h"
#include "ui_Unit1.h"

#include <algorithm>

namespace {

// Room beside the text of a cell: the cell's margins.
constexpr int CellPadding = 12;

} // namespace

WindowPlace::WindowPlace(QWidget& window, const Ui::TForm1& ui, int drawnMargin)
    : window_(window), ui_(ui), layoutSize_(window.size()),
      slack_(std::max(0, TableMargin(ui) - drawnMargin)) {
    window_.setMinimumSize(layoutSize_);
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui.PageControl1, ui.FilterEdit, ui.RecentButton, ui.FilterCount, ui.BookTable,
             ui.ListStatus, ui.Button2, ui.Button3, ui.Button4, ui.Button5}) {
        places_.emplace_back(w, w->geometry());
    }
    // The ID column follows the IDs themselves, not what a filter shows of them.
    const ListBox& ids = ui.BookTable->Ids();
    for (auto signal : {&ListBox::RowInserted, &ListBox::RowTaken, &ListBox::RowChanged}) {
        QObject::connect(&ids, signal, &window, [this] { FitIds(); });
    }
    QObject::connect(&ids, &ListBox::RowsReplaced, &window, [this] { FitIds(); });
}

int WindowPlace::TableMargin(const Ui::TForm1& ui) {
    return ui.PageControl1->width() -
           std::max(ui.BookTable->geometry().right(), ui.FilterCount->geometry().right());
}

void WindowPlace::FitIds() {
    // At least as wide as the longest ID the Add page takes, so the table keeps its shape
    // while the book fills.
    size_t longest = static_cast<size_t>(std::max(0, ui_.NumEdit1->maxLength()));
    for (const std::string_view id : ui_.BookTable->Ids().Items()) {
        longest = std::max(longest, id.size());
    }
    const QFontMetrics metrics(ui_.BookTable->font());
    // The header's text and its sort arrow (about a line high) fit too.
    const int text =
        std::max(metrics.horizontalAdvance(QString(static_cast<qsizetype>(longest), u'0')),
                 metrics.horizontalAdvance(QStringLiteral("ID")) + 2 * metrics.height());
    idsWidth_ = text + CellPadding;
    LayOut();
}

// The page control and the client list grow with the window; the buttons stay in their row
// below the lists and the status line below them; other pages keep their places.
void WindowPlace::LayOut() {
    if (places_.empty() || idsWidth_ == 0) {
        return;
    }
    const int grown = std::max(0, window_.width() - layoutSize_.width());
    // The table takes the room its page gained for other texts too.
    const int wider = grown + slack_;
    const int taller = std::max(0, window_.height() - layoutSize_.height());
    for (const auto& [w, place] : places_) {
        QRect r = place;
        if (w == ui_.PageControl1) {
            r.setSize(place.size() + QSize(grown, taller));
        } else if (w == ui_.FilterEdit) {
            r.setWidth(place.width() + wider);
        } else if (w == ui_.FilterCount || w == ui_.RecentButton) {
            r.moveRight(place.right() + wider);
        } else if (w == ui_.BookTable) {
            r.setSize(place.size() + QSize(wider, taller));
        } else {
            r.moveTop(place.top() + taller);
            if (w == ui_.ListStatus) {
                r.setWidth(place.width() + grown);
            }
        }
        w->setGeometry(r);
    }
    // A window wider than its layout by a pane's room shows the pane beside the table: the
    // table keeps at least its drawn width, the pane takes the rest up to its own width.
    if (pane_) {
        constexpr int PaneMin = 200;
        constexpr int PaneMax = 340;
        constexpr int Gap = 6;
        const bool room = wider >= PaneMin + Gap;
        if (room) {
            const int paneWidth = std::min(PaneMax, wider - Gap);
            QRect table = ui_.BookTable->geometry();
            table.setWidth(table.width() - paneWidth - Gap);
            ui_.BookTable->setGeometry(table);
            pane_->setGeometry(table.right() + 1 + Gap, table.top(), paneWidth, table.height());
        }
        pane_->setVisible(room);
    }
    // The IDs take what they need; the names the rest, at least half.
    ui_.BookTable->SetIdWidth(std::min(idsWidth_, ui_.BookTable->width() / 2));
}

void WindowPlace::Restore() {
    QWidget probe;
    const QByteArray place = UserSettings().value(QStringLiteral("geometry")).toByteArray();
    if (place.isEmpty()) {
        return;
    }
    // A size below the layout's would cut controls off: such a place is not taken.
    probe.restoreGeometry(place);
    if (probe.width() < layoutSize_.width() || probe.height() < layoutSize_.height()) {
        return;
    }
    window_.restoreGeometry(place);
}

void WindowPlace::Save() const {
    UserSettings().setValue(QStringLiteral("geometry"), window_.saveGeometry());
}
