#pragma once

// Where profiles live and how their files are read and written: one file
// per name, NAME.json, under $XDG_CONFIG_HOME/dispctl/profiles (else
// ~/.config/dispctl/profiles). Every failure is one line naming the profile.

#include "schema.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace profile {

// A name is a file name of its own: not empty, no '/', no leading '.', no
// control characters.
bool validName(const QString &name);

// The profiles' directory; empty, with the reason in *error, where neither
// XDG_CONFIG_HOME nor HOME gives one.
QString directory(QString *error);

// The profile of that name; none, with one line in *error: unknown,
// unreadable or malformed.
std::optional<Profile> load(const QString &name, QString *error);
// The profile's text as it is stored.
std::optional<QByteArray> loadText(const QString &name, QString *error);

// Writes the profile atomically (the old file or the new one, never a
// mix), 0600, in a 0700 directory made if missing. A directory others can
// enter is narrowed to 0700 first; one that is not the user's is refused.
// Without replace, an existing profile is refused.
bool store(const QString &name, const Profile &profile, bool replace, QString *error);

// False, with *error, for an unknown profile.
bool remove(const QString &name, QString *error);

// The names, sorted; an absent directory has none.
std::optional<QStringList> names(QString *error);

} // namespace profile
