// The switches an archiver command line carries, one field per switch letter.
// An integer of -1 and a text of one space " " mean "not given"; the list and
// the two free texts are empty when unused.
#pragma once

#include <string>
#include <vector>

namespace sarvenu {

using TStringList = std::vector<std::string>;

struct TArchiverOptions {
    static constexpr int kNotGiven = -1;
    static constexpr const char* kNoText = " ";

    int a = kNotGiven, c = kNotGiven, d = kNotGiven, e = kNotGiven, f = kNotGiven, h = kNotGiven,
        i = kNotGiven, l = kNotGiven, m = kNotGiven, n = kNotGiven, o = kNotGiven, p = kNotGiven,
        r = kNotGiven, s = kNotGiven, t = kNotGiven, u = kNotGiven, x = kNotGiven, y = kNotGiven,
        z = kNotGiven;
    int jc = kNotGiven, jd = kNotGiven, je = kNotGiven, jf = kNotGiven, jh = kNotGiven,
        ji = kNotGiven, jm = kNotGiven, jn = kNotGiven, jp = kNotGiven, jr = kNotGiven,
        jss = kNotGiven, jw = kNotGiven, jyc = kNotGiven, jyd = kNotGiven, jyk = kNotGiven,
        jyn = kNotGiven, jyo = kNotGiven;
    int ga = kNotGiven, gd = kNotGiven, ge = kNotGiven, gf = kNotGiven, gj = kNotGiven,
        gm = kNotGiven, gn = kNotGiven, go = kNotGiven, gp = kNotGiven, gr = kNotGiven,
        gs = kNotGiven, gu = kNotGiven, gw = kNotGiven;
    std::string w = kNoText;  // a directory
    std::string jo = kNoText, job = kNoText, jz = kNoText;
    TStringList jx;
    std::string UserOptions;
    std::string UserFileList;
};

}  // namespace sarvenu
