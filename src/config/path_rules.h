// Rules for the folder and extension texts kept in DNC.ini.
#pragma once

#include <QString>

namespace dnc
{

// True when the last component of `path` carries a file extension (a "."
// followed by anything, as in "prog.nc"). A path ending with "/" has none.
bool has_file_extension(const QString &path);

// The folder rule: empty stays empty; a path that contains "/" and has no
// file extension gets a trailing "/" if it lacks one; a path without any
// "/" gets `prefix` in front; any other path is unchanged.
QString normalize_folder(const QString &path, const QString &prefix = {});

// The extension rule for a machine's default extension: blanks around it
// are dropped; empty becomes ".*"; otherwise everything before the first "."
// is removed, and a text without "." gets one in front ("NC" and "*.NC" both
// give ".NC").
QString normalize_extension(const QString &extension);

} // namespace dnc
