#pragma once
// Images of the tool buttons and the program's icon, drawn in code so they look the same
// on every desktop theme. Each tool icon carries an enabled and a disabled look.

#include <QIcon>

enum class ToolIcon { New, Add, Remove, Play, Stop, Options, Start, About, Analyze };

/// The tool button image, with its QIcon::Normal and QIcon::Disabled pixmaps.
QIcon MakeToolIcon(ToolIcon kind);

/// The program's icon (a peak-normalized waveform), at several sizes.
QIcon MakeProgramIcon();
