#pragma once

#include "app/ClientTable.h"
#include "app/Unit1.h"

#include <QLabel>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

// A control of the window by its layout name.
template <class W> W* Find(const TForm1& form, const char* name) {
    W* widget = form.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// Clicks the client table's row at a place of the view, as the user would.
inline void ClickClient(const TForm1& form, int place, int column = 0) {
    auto* table = Find<ClientTable>(form, "BookTable");
    const QRect rect = table->CellRect(place, column);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
}

// The cell of the client table at a place of the view: 0 the name, 1 the ID.
inline QString ShownCell(const TForm1& form, int place, int column) {
    const QAbstractItemModel* model = Find<ClientTable>(form, "BookTable")->model();
    return model->index(place, column).data().toString();
}

// What a status line says, whole: its text, or its tool tip where the text had to be shortened.
inline QString StatusLine(const TForm1& form, const char* line = "ListStatus") {
    const auto* label = Find<QLabel>(form, line);
    return label->toolTip().isEmpty() ? label->text() : label->toolTip();
}
