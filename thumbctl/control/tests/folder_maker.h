#pragma once
// Test helper: a folder of small pictures in every kind the list meets, made
// with ImageMagick, cjpeg and tiffcp at test time.
#include "testsupport/testsupport.h"

#include <string>

namespace thumbctl::testkit {

// Writes into `dir`: wide.bmp (200 x 100), photo.jpg (160 x 120), small.png
// (40 x 30), pages.tif (4 pages of 64 x 48, each a different grey), pic.pcx
// (120 x 90), anim.gif (50 x 50) and notes.txt.
inline void MakeMixedFolder(const std::string& dir)
{
    using testsupport::Shell;
    const std::string d = dir + "/";
    Shell("convert -size 200x100 gradient:red-blue -type TrueColor BMP3:" + d + "wide.bmp");
    Shell("convert -size 160x120 plasma:green-yellow -seed 3 " + d + "photo.ppm && cjpeg -quality 90 -outfile " + d +
          "photo.jpg " + d + "photo.ppm && rm " + d + "photo.ppm");
    Shell("convert -size 40x30 xc:orange " + d + "small.png");
    for (int p = 0; p < 4; ++p)
        Shell("convert -size 64x48 xc:gray" + std::to_string(20 + 20 * p) + " -type TrueColor -depth 8 -compress none " + d +
              "p" + std::to_string(p) + ".tif");
    Shell("tiffcp -c none " + d + "p0.tif " + d + "p1.tif " + d + "p2.tif " + d + "p3.tif " + d + "pages.tif && rm " +
          d + "p?.tif");
    Shell("convert -size 120x90 gradient:white-black -type TrueColor PCX:" + d + "pic.pcx");
    Shell("convert -size 50x50 xc:blue " + d + "anim.gif");
    Shell("echo 'not a picture' > " + d + "notes.txt");
}

} // namespace thumbctl::testkit
