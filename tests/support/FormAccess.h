#pragma once

#include "app/Unit1.h"

#include <QString>

#include <gtest/gtest.h>

// A control of the window by its layout name.
template <class W> W* Find(const TForm1& form, const char* name) {
    W* widget = form.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}
