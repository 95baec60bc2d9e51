// norvikel-tool list and grab: the thumbnail list's loading and its window.
//   list --source folder|list|multipage|items --path P [--path P ...] [--pattern P]
//        each item's file name, page flag and thumbnail size, then the final error code
//   grab (same options) [--size WxH] [--caption N] OUT.png
//        the control in an offscreen window, drawn to a picture
#include "tools/cli/args.h"
#include "tools/norvikel-tool/thumbnails.h"

#include "app/core/runtime.h"
#include "thumbctl/control/loading_host.h"
#include "thumbctl/control/view_embed.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using thumbctl::ThumbnailList;
using thumbctl::ThumbnailLoader;

struct Options {
    int source = 0;
    std::vector<std::string> paths;
    std::string pattern = "*.*";
    int width = 440, height = 330;
    int caption = 2;
    std::string out;
};

// Options from argv[2] on; the status of a usage message, or -1 to go on.
int Parse(int argc, char** argv, bool grab, Options* o)
{
    cli::Parser p("norvikel-tool", norvikeltool::kUsage);
    std::string source;
    p.choice("--source", &source, {"folder", "list", "multipage", "items"})
        .paths("--path", &o->paths)
        .text("--pattern", &o->pattern);
    if (grab) p.size("--size", &o->width, &o->height, 1, 8000).integer("--caption", &o->caption, 1, 5);
    std::vector<std::string> operands;
    if (const int status = p.parse(argc, argv, &operands, 2); status >= 0) return status;
    o->source = source == "items"       ? thumbctl::sourceDirect
                : source == "folder"    ? thumbctl::sourceFolder
                : source == "multipage" ? thumbctl::sourceMultiPage
                : source == "list"      ? thumbctl::sourceListFile
                                        : 0;
    if (operands.size() > (grab ? 1u : 0u)) return p.usage("unexpected argument " + operands.back());
    if (grab && !operands.empty()) {
        o->out = operands[0];
        if (const int status = p.refuse(cli::ReadPath("OUT.png", o->out)); status >= 0) return status;
    }
    if (o->source == 0 || o->paths.empty() || (grab && o->out.empty()))
        return p.usage(std::string("needs --source, --path") + (grab ? " and OUT.png" : ""));
    return -1;
}

} // namespace

int ListThumbnails(int argc, char** argv, std::string (*errorText)(int))
{
    Options o;
    if (const int status = Parse(argc, argv, false, &o); status >= 0) return status;
    QCoreApplication app(argc, argv);  // URLs are fetched through its event system
    ThumbnailList list;
    thumbctl::StandaloneHost host;
    ThumbnailLoader loader(list, host);
    loader.dataSource = o.source;
    loader.pattern = o.pattern;
    bool ok = true;
    if (o.source == thumbctl::sourceDirect) {
        // Each path added as the container adds a file; the last failure stays.
        int16_t lastFailure = 0;
        for (const auto& p : o.paths)
            if (!loader.Add(-1, p, "", "")) lastFailure = loader.lastError;
        loader.lastError = lastFailure;
        ok = lastFailure == 0;
    } else {
        loader.dataPath = o.paths.front();
        ok = loader.Update();
    }
    for (long i = 0; i < list.count(); ++i) {
        const thumbctl::CThumbnailItem& it = *list.items[size_t(i)];
        int64_t w = 0, h = 0;
        int bits = 0;
        const bool has = thumbctl::GetDibInfo(it.thumbnail.get(), &w, &h, &bits);
        std::string flag = it.multiPage ? "multi-page" : "single";
        if (o.source == thumbctl::sourceMultiPage) flag = "page " + std::to_string(it.page + 1);
        std::printf("%s\t%s\t%s\n", it.namePart.c_str(), flag.c_str(),
                    has ? (std::to_string(w) + "x" + std::to_string(h)).c_str() : "-");
    }
    std::printf("error %s\n", errorText(loader.lastError).c_str());
    return ok ? 0 : 1;
}

int GrabThumbnails(int argc, char** argv, std::string (*errorText)(int))
{
    Options o;
    if (const int status = Parse(argc, argv, true, &o); status >= 0) return status;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget window;
    window.resize(o.width, o.height);
    std::string why;
    auto control = thumbctl::EmbeddedControl::Create(&window, QCoreApplication::applicationDirPath().toStdString(), &why);
    if (!control) {
        std::fprintf(stderr, "norvikel-tool: %s\n", why.c_str());
        return 1;
    }
    control->widget()->setGeometry(0, 0, o.width, o.height);
    window.show();
    QApplication::processEvents();
    using host::Variant;
    control->Put("CaptionType", Variant::Short(int16_t(o.caption)));
    control->Put("DataSource", Variant::Short(int16_t(o.source)));
    control->Put("Pattern", Variant::String(o.pattern));
    // As list: a run fails when the list could not load its source (a
    // direct item refused, a missing folder or file).
    bool loaded = true;
    if (o.source == thumbctl::sourceDirect) {
        for (const auto& p : o.paths)
            if (!control->Call("Add", {Variant::Long(-1), Variant::String(p), Variant::String(""), Variant::String("")})
                     .boolean())
                loaded = false;
    } else {
        control->Put("AutoUpdate", Variant::Bool(false));
        control->Put("DataPath", Variant::String(o.paths.front()));
        loaded = control->Call("Update").boolean();
    }
    const int error = control->Call("GetErrorCode").integer();
    QApplication::processEvents();
    const QImage picture = window.grab().toImage();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    if (!core::WriteFileAtomically(o.out, bytes.toStdString(), &why)) {
        std::fprintf(stderr, "norvikel-tool: cannot write %s: %s\n", o.out.c_str(), why.c_str());
        return 1;
    }
    std::printf("%ld items, error %s\n", long(control->Get("ListCount").integer()), errorText(error).c_str());
    return loaded ? 0 : 1;
}
