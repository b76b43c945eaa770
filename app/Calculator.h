#pragma once

#include <QStringList>

// Desktop calculators in the order they are tried.
QStringList CalculatorCandidates();

// Starts the first calculator the desktop has and does not watch it. Returns whether one was
// started; without any, nothing visible happens.
bool StartCalculator();
