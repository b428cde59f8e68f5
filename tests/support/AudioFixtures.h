#pragma once
// Tracks for a disc: short tones, added and waited for.

#include "TestEnv.h"
#include "audio/DiscProject.h"

#include <QSignalSpy>

// Adds a short tone named after each of `names` to `project` and waits until
// the tracks are in and measured.
inline bool addTones(const TestEnv &env, DiscProject *project, const QStringList &names, double seconds = 0.3,
                     int rate = 44100, int channels = 2)
{
    QStringList files;
    for (const QString &name : names) {
        files.append(env.path(name + QStringLiteral(".wav")));
        if (!TestEnv::writeWav(files.last(), seconds, rate, channels))
            return false;
    }
    QSignalSpy added(project, &DiscProject::tracksAdded), measured(project, &DiscProject::measured);
    project->add(files);
    return added.wait(10000) && added.first().first().toInt() == names.size() && (measured.count() || measured.wait());
}
