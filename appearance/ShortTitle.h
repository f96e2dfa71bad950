#pragma once

#include <QString>

namespace tidewell {

inline constexpr qsizetype programTitleLength = 40;

// The program title made from a product name: its last word dropped at
// least once, then word after word until at most 40 characters remain.
// Throws the invalid-procedure-call run-time error when a text that must be
// cut has no space left to cut at.
QString shortProgramTitle(const QString &name);

// Makes the short form of the product name ("Tidewell Episode Keeper"
// unless another is given) the program title; on error the title stays as
// it was.
void SetProgramTitle();
void SetProgramTitle(const QString &name);

} // namespace tidewell
