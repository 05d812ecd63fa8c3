#pragma once

#include <QColor>

#include <map>
#include <vector>

namespace kvp {

// The colour of each module's line in the trend, kept by address: a module keeps
// its colour while it is followed, whoever joins or leaves, and a new one takes the
// first colour free. None is red: red is a value beyond its limits.
class TrendColours
{
public:
    // The modules now followed: those gone free their colours.
    void follow(const std::vector<int> &addresses);
    // Of a module followed (another gets the first free colour); lighter on a dark
    // background.
    QColor of(int address, bool dark);

    // The colour of the place-th line given out, for a test to look over them all.
    static QColor ofPlace(int place, bool dark);

private:
    std::map<int, int> m_places; // address -> colour place
};

} // namespace kvp
