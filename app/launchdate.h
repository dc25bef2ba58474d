#pragma once

#include <QDate>
#include <QtGlobal>

// The frontend launches the program with the time it started; a launch is
// accepted when that time's local calendar date is today or yesterday.
bool launchDateAccepted(qint32 receivedSeconds, const QDate& today);
