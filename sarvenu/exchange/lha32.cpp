// The LZH wrapper (and, through TLibraryInfo, the ARJ one).
#include "exchange/lha32.h"

#include "exchange/archive_cmd_opt.h"
#include "exchange/archive_error.h"

namespace sarvenu {

TLha32::TLha32() : TLha32(TLibraryInfo{"UNLHA32.DLL", "Unlha", archiver_text::kLhaMissing}) {}

TLha32::TLha32(const TLibraryInfo& info) : TArchiver(info) {
    LoadLibrary();
}

std::string TLha32::MakeCommandLine(const std::string& command, const std::string& archive,
                                    const TArchiverOptions& o, const std::string& directory,
                                    const TStringList* files) {
    TCmdOpt line;
    line.Add("-+");
    line.AddInt("a", o.a);
    line.AddInt("c", o.c);
    line.AddInt("d", o.d);
    line.AddInt("e", o.e);
    line.AddInt("f", o.f);
    line.AddInt("h", o.h);
    line.AddInt("i", o.i);
    line.AddInt("l", o.l);
    line.AddInt("m", o.m);
    line.AddInt("n", o.n);
    line.AddInt("o", o.o);
    line.AddInt("p", o.p);
    line.AddInt("r", o.r);
    line.AddInt("s", o.s);
    line.AddInt("t", o.t);
    line.AddInt("u", o.u);
    line.AddDirectory("w", o.w);
    line.AddInt("x", o.x);
    line.AddInt("y", o.y);
    line.AddInt("z", o.z);
    line.AddInt("jc", o.jc);
    line.AddInt("jd", o.jd);
    line.AddInt("je", o.je);
    line.AddInt("jf", o.jf);
    line.AddInt("jh", o.jh);
    line.AddInt("ji", o.ji);
    line.AddInt("jm", o.jm);
    line.AddInt("jn", o.jn);
    line.AddQuoted("jo", o.jo);
    line.AddQuoted("job", o.job);
    line.AddInt("jp", o.jp);
    line.AddInt("jr", o.jr);
    line.AddInt("jss", o.jss);
    line.AddInt("jw", o.jw);
    line.AddList("jx", o.jx);
    line.AddInt("jyc", o.jyc);
    line.AddInt("jyd", o.jyd);
    line.AddInt("jyk", o.jyk);
    line.AddInt("jyn", o.jyn);
    line.AddInt("jyo", o.jyo);
    line.AddQuoted("jz", o.jz);
    line.AddInt("ga", o.ga);
    line.AddInt("gd", o.gd);
    line.AddInt("ge", o.ge);
    line.AddInt("gf", o.gf);
    line.AddInt("gj", o.gj);
    line.AddInt("gm", o.gm);
    line.AddInt("gn", o.gn);
    line.AddInt("go", o.go);
    line.AddInt("gp", o.gp);
    line.AddInt("gr", o.gr);
    line.AddInt("gs", o.gs);
    line.AddInt("gu", o.gu);
    line.AddInt("gw", o.gw);
    line.Add(o.UserOptions);
    line.AddQuoted("", archive);
    line.AddDirectory("", directory);
    if (files) line.AddList("", *files);
    line.Add(o.UserFileList);
    return command + line.Text();
}

int TLha32::Run(const std::string& command, ArchiverWindow window, const std::string& archive,
                const TArchiverOptions& options, const std::string& directory,
                const TStringList* files) {
    return SendCommand(window, MakeCommandLine(command, archive, options, directory, files));
}

int TLha32::Extract(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                    const std::string& directory, const TStringList* files) {
    return Run("x", window, archive, options, directory, files);
}

int TLha32::Pack(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                 const std::string& directory, const TStringList* files) {
    return Run("u", window, archive, options, directory, files);
}

int TLha32::Delete(ArchiverWindow window, const std::string& archive, TArchiverOptions& options,
                   const std::string& directory, const TStringList* files) {
    return Run("d", window, archive, options, directory, files);
}

int TLha32::MakeSfx(ArchiverWindow window, const std::string& archive, TArchiverOptions& options) {
    return Run("s", window, archive, options, "", nullptr);
}

}  // namespace sarvenu
