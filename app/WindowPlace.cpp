#include "app/WindowPlace.h"

#include "app/UserSettings.h"
#include "ui_Unit1.h"

#include <QScrollBar>

#include <algorithm>

namespace {

// Room beside the text of a row: the view's frame and margins.
constexpr int RowPadding = 12;
// The gap between the two lists, as the layout has it.
constexpr int ListGap = 7;

} // namespace

WindowPlace::WindowPlace(QWidget& window, const Ui::TForm1& ui, int drawnMargin)
    : window_(window), ui_(ui), layoutSize_(window.size()),
      slack_(std::max(0, TableMargin(ui) - drawnMargin)) {
    window_.setMinimumSize(layoutSize_);
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui.PageControl1, ui.FilterEdit, ui.FilterCount, ui.ListBox1, ui.ListBox2,
             ui.NamesHeader, ui.IdsHeader, ui.ListStatus, ui.Button2, ui.Button3, ui.Button4,
             ui.Button5}) {
        places_.emplace_back(w, w->geometry());
    }
    // One scroll bar for both lists: the ID list's, at the table's right edge.
    ui.ListBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.ListBox2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ui.ListBox1->setAlternatingRowColors(true);
    ui.ListBox2->setAlternatingRowColors(true);
    // The ID column follows the IDs themselves, not what a filter shows of them.
    const ByteListModel& ids = ui.ListBox2->Rows();
    for (auto signal :
         {&ByteListModel::RowInserted, &ByteListModel::RowTaken, &ByteListModel::RowChanged}) {
        QObject::connect(&ids, signal, &window, [this] { FitIds(); });
    }
    QObject::connect(&ids, &ByteListModel::RowsReplaced, &window, [this] { FitIds(); });
}

int WindowPlace::TableMargin(const Ui::TForm1& ui) {
    return ui.PageControl1->width() -
           std::max(ui.ListBox2->geometry().right(), ui.FilterCount->geometry().right());
}

void WindowPlace::FitIds() {
    // At least as wide as the longest ID the Add page takes, so the table keeps its shape
    // while the book fills.
    size_t longest = static_cast<size_t>(std::max(0, ui_.NumEdit1->maxLength()));
    for (const std::string_view id : ui_.ListBox2->Items()) {
        longest = std::max(longest, id.size());
    }
    const QFontMetrics metrics(ui_.ListBox2->font());
    const int text =
        std::max(metrics.horizontalAdvance(QString(static_cast<qsizetype>(longest), u'0')),
                 metrics.horizontalAdvance(ui_.IdsHeader->text()));
    idsWidth_ = text + RowPadding + ui_.ListBox2->verticalScrollBar()->sizeHint().width();
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
    QRect names;
    QRect ids;
    for (const auto& [w, place] : places_) {
        if (w == ui_.ListBox1) {
            names = place;
        } else if (w == ui_.ListBox2) {
            ids = place;
        }
    }
    // The table spans both lists' places; the IDs take what they need at its right.
    const int left = names.left();
    const int right = ids.right() + wider;
    const int idsWidth = std::min(idsWidth_, (right - left) / 2);
    const QRect idsPlace(right - idsWidth + 1, ids.top(), idsWidth, ids.height() + taller);
    const QRect namesPlace(left, names.top(), idsPlace.left() - ListGap - left,
                           names.height() + taller);
    for (const auto& [w, place] : places_) {
        QRect r = place;
        if (w == ui_.PageControl1) {
            r.setSize(place.size() + QSize(grown, taller));
        } else if (w == ui_.FilterEdit) {
            r.setWidth(place.width() + wider);
        } else if (w == ui_.FilterCount) {
            r.moveRight(right);
        } else if (w == ui_.ListBox1) {
            r = namesPlace;
        } else if (w == ui_.ListBox2) {
            r = idsPlace;
        } else if (w == ui_.NamesHeader) {
            r.moveLeft(namesPlace.left());
        } else if (w == ui_.IdsHeader) {
            r.moveLeft(idsPlace.left());
        } else {
            r.moveTop(place.top() + taller);
            if (w == ui_.ListStatus) {
                r.setWidth(place.width() + grown);
            }
        }
        w->setGeometry(r);
    }
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
