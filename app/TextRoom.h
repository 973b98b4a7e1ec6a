#pragma once

#include <QSize>

class QTabWidget;

// Gives every text of the pages the room its font needs: a label, button, check box or group
// title that would be cut grows, and what stands right of it or below it moves along; a page
// whose controls then reach past it, or a tab row wider than the pages, makes the page control
// grow. Returns by how much it grew, which the window grows by too. With fonts the layout was
// drawn for nothing moves.
QSize MakeRoomForTexts(QTabWidget& pages);
