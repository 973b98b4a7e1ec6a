#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

// The longest text a row shows on screen; the row's bytes stay whole for the save.
inline constexpr size_t MaxShownCharacters = 1000;

// The text shown for bytes from the files, as UTF-8: the bytes themselves where they are valid
// UTF-8, otherwise read as Windows-1252, so a book brought over from a Windows machine reads
// correctly. Past maxCharacters characters the text is cut and ends in "…"; only the bytes that
// can be shown are looked at, so a huge row costs no more than a short one.
std::string DisplayUtf8(std::string_view bytes, size_t maxCharacters = std::string_view::npos);

// Whether the bytes are valid UTF-8: the rule DisplayUtf8 follows, for text that is decoded
// once as a whole.
bool IsUtf8(std::string_view bytes);

// The one rule for what may not stand in a row or a launch line: the control characters below
// 0x20, and 0x7F. Typed text, pasted text and the filter all follow it.
bool IsControlCharacter(char32_t c);

// Text typed by the user without the control characters (below 0x20, and 0x7F) that would
// break a row of a list file in two or end a launch line early.
std::string WithoutControlCharacters(std::string_view text);

// Characters that show nothing yet change what is shown around them: the C1 controls, the
// bidirectional embeddings, overrides and isolates, the zero-width characters, the line and
// paragraph separators, and the other invisible format characters. A name holding one could
// pass for another client's ("Baker & Sons" + U+202E + "815402" shows "Baker & Sons204518"):
// they are shown nowhere and taken from no source.
bool IsInvisibleCharacter(char32_t c);

// The most characters a client's name keeps, from whatever source: the server's limit.
inline constexpr size_t MaxNameCharacters = 4096;

// A name as the book takes it, from the keyboard, a paste, an import or a server: without
// control characters and invisible ones, and at most MaxNameCharacters characters, a longer
// one kept at both ends with "…" in the middle. Bytes that are not UTF-8 lose only the control
// characters and the length.
std::string CleanName(std::string_view text);

// A path as the user reads it: the program names its files with a separator of their own
// after the folder, and the doubled separator that gives is shown once.
std::string ShownPath(std::string_view path);

// Whether the text holds such a character.
bool HasControlCharacter(std::string_view text);

} // namespace core
