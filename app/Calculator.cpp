#include "app/Calculator.h"

#include <QProcess>
#include <QStandardPaths>

QStringList CalculatorCandidates()
{
    return {QStringLiteral("gnome-calculator"), QStringLiteral("kcalc"), QStringLiteral("galculator"),
            QStringLiteral("mate-calc"), QStringLiteral("qalculate-gtk"), QStringLiteral("xcalc")};
}

bool StartCalculator()
{
    for (const QString& name : CalculatorCandidates()) {
        const QString program = QStandardPaths::findExecutable(name);
        if (!program.isEmpty()) {
            return QProcess::startDetached(program, {});
        }
    }
    return false;
}
