#pragma once

#include "chipsettings.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// A setup file (NAME.qd7310): the fourteen slider positions as one JSON object in UTF-8, so a
// bench's settings outlive the window and travel to another bench. Every program reads and writes
// it through these functions and nothing else.
//
//   {"format": "qd7310-setup", "version": 1, "settings": {"calibration": 1, ...}, ...}
//
// Only "format", "version" and "settings" are read; what else the writer puts beside them (the
// labels, the train totals, the register image) is for a human reader.
namespace SetupFile {

constexpr const char *kSuffix = "qd7310"; // without its dot
constexpr const char *kFormat = "qd7310-setup";
constexpr int kVersion = 1;

// Parses a setup's bytes. On success fills *positions (a setting the file leaves out takes its
// start position) and returns an empty string; otherwise returns what is wrong, naming the key,
// the value and the range where there is one, and leaves *positions alone.
QString parse(const QByteArray &bytes, ChipSettings::Positions *positions);

// Reads the file at `path` and parses it. The error text names the file: "PATH: problem".
QString read(const QString &path, ChipSettings::Positions *positions);

// The object the writer writes: format, version, settings, then the human-readable parts (the
// labels, the train totals and the register image). A QJsonObject sorts its keys, so the file's
// bytes come from serialize(), never from this.
QJsonObject toJson(const ChipSettings::Positions &positions);
// That object as the file's bytes, keys in that fixed order: indented, locale-independent, ending
// in a newline. The same positions always give the same bytes.
QByteArray serialize(const ChipSettings::Positions &positions);
// The same object's text without the newline, nested `depth` levels deep in another document.
QByteArray objectText(const ChipSettings::Positions &positions, int depth);

// Writes the setup atomically: the old file stays whole until the new one is complete. Returns
// an empty string, or the error text naming the file.
QString write(const QString &path, const ChipSettings::Positions &positions);

} // namespace SetupFile
