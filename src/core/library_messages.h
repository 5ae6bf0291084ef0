#pragma once

// The library's reports, printed as the tool's "dispor: …" lines.

// Prints the library's warnings and worse from here on. Run before the
// application object, like any message handler.
void showLibraryMessages();

// Turns the library's warnings off, or on again: a caller that says a
// failure in its own words asks quietly.
void setLibraryWarningsShown(bool shown);
