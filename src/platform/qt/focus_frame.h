#pragma once

class QWidget;

namespace lcdprog::platform {

// Draws a frame in the highlight colour inside `box` while it has the keyboard focus, over its
// edge pixels, so that a picture box reached with Tab shows where the focus is. The frame never
// takes a mouse press and changes neither the box's size nor what it shows.
void Add_Focus_Frame(QWidget* box);

}  // namespace lcdprog::platform
