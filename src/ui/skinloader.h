// The skinning library beside the program: loaded at start-up, from the program folder, and asked
// once to attach the skin file "skinh.she" of that folder.
#pragma once

#include <QString>

#include <optional>

// Attaches the skin. What the library does with the file is its own affair; std::nullopt when it
// was called. Otherwise why start-up cannot go on: the library or its entry point is missing.
std::optional<QString> attachSkin(const QString &programFolder);
