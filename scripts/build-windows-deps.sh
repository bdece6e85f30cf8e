#!/bin/sh
# Builds the Windows libraries the program needs — zlib, libpng, libjpeg-turbo, libtiff,
# libwebp and OpenCV's core, imgproc, imgcodecs and highgui (Win32 windows) — from Debian
# 12's source packages with the MinGW-w64 cross compiler, and prints the prefix they went
# into. The image formats are those the Linux build's OpenCV reads from the same
# libraries (less JPEG 2000, OpenEXR and the GDAL and DICOM readers).
#
# The prefix lies outside the clone, named after the source versions and the recipe, so
# a second run while apt knows the same versions only prints it. Needs root the first
# time (it adds a deb-src entry for bookworm if there is none and installs the tools).
#
#   sh scripts/build-windows-deps.sh            # builds if needed, prints the prefix
#   CORVANTIS_WIN_DEPS_ROOT=/some/dir JOBS=2 sh scripts/build-windows-deps.sh
#
# The first build takes some 16 minutes of CPU time (8 to 10 on two idle cores).
#
# zlib, libpng, libjpeg-turbo and libwebp are static libraries inside the DLLs of
# OpenCV, libtiff (which needs two of them) and the program; OpenCV is shared, because an image read by the plugin (cv::Mat) travels into the
# program and must be released by the same OpenCV.
set -eu

root=${CORVANTIS_WIN_DEPS_ROOT:-/var/cache/corvantis/win-deps}
jobs=${JOBS:-$(nproc)}
host=x86_64-w64-mingw32
# Raised whenever the build options below change, so that the prefix is rebuilt.
recipe=1

log() { echo "build-windows-deps: $*" >&2; }

if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  # The sources come from the archives the machine takes its packages from, suite by suite
  # as its deb entries name them.
  archive() { sh "$(dirname "$0")/apt-archive.sh" "$1"; }
  archive bookworm >/dev/null || { log "apt has no bookworm archive to take sources from"; exit 1; }
  log "adding the bookworm source packages to apt"
  for suite in bookworm bookworm-updates bookworm-security; do
    uri=$(archive "$suite" 2>/dev/null) || continue
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\n%s\n\n' "$uri" "$suite" \
      "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
  done >/etc/apt/sources.list.d/corvantis-src.sources
  apt-get update -q >&2
fi

tools="g++-mingw-w64-x86-64-posix cmake ninja-build nasm dpkg-dev"
missing=""
for p in $tools; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  log "installing$missing"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing >&2
fi

# The versions of a source package apt knows, newest first (dpkg's order, which sort(1)
# does not know).
source_versions() {
  list=""
  for v in $(apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -u); do
    out=""
    placed=""
    for w in $list; do
      if [ -z "$placed" ] && dpkg --compare-versions "$v" gt "$w"; then
        out="$out $v"
        placed=1
      fi
      out="$out $w"
    done
    [ -n "$placed" ] || out="$out $v"
    list=$out
  done
  echo $list
}

packages="zlib libpng1.6 libjpeg-turbo tiff libwebp opencv"
known=""
for p in $packages; do known="$known $p=$(source_versions "$p" | tr ' ' ,)"; done
key=$(echo "$known r$recipe" | sha256sum | cut -c1-12)
if [ -f "$root/resolved-$key" ] && [ -f "$(cat "$root/resolved-$key")/.complete" ]; then
  cat "$root/resolved-$key"
  exit 0
fi

work=$root/build-$key
rm -rf "$work"
mkdir -p "$work"
cd "$work"
# The newest version that can be fetched (a mirror may lack a security update's
# sources), unpacked with Debian's patches applied as for the Linux build's libraries.
name=""
for p in $packages; do
  got=""
  for v in $(source_versions "$p"); do
    if apt-get source -q "$p=$v" >&2; then
      got=$v
      break
    fi
    log "$p $v cannot be fetched, trying an older one"
  done
  [ -n "$got" ] || { log "no sources of $p"; exit 1; }
  name="$name$p-$got-"
done
prefix=$root/$(echo "${name}r$recipe" | tr ':~+' '___')
log "building into $prefix"
rm -rf "$prefix"
mkdir -p "$prefix/include" "$prefix/lib"

cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER $host-gcc-posix)
set(CMAKE_CXX_COMPILER $host-g++-posix)
set(CMAKE_RC_COMPILER $host-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$host $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

cmake_build() {
  src=$1
  shift
  cmake -S "$src" -B "$work/build-$(basename "$src")" -G Ninja \
    --toolchain "$work/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >&2
  nice -n 5 cmake --build "$work/build-$(basename "$src")" -j "$jobs" >&2
  cmake --install "$work/build-$(basename "$src")" >&2
}

log zlib
src=$(ls -d zlib-*/)
# Debian's sources lack zlib's Windows makefile; the library is its sixteen C files.
(
  cd "$src"
  for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast \
    inflate inftrees trees uncompr zutil; do
    $host-gcc-posix -O2 -c "$f.c" -o "$f.o"
  done
  $host-ar rcs libz.a ./*.o
)
cp "$src/zlib.h" "$src/zconf.h" "$prefix/include/"
cp "$src/libz.a" "$prefix/lib/"

log libpng
cmake_build "$(ls -d libpng1.6-*/)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF

log libjpeg-turbo
cmake_build "$(ls -d libjpeg-turbo-*/)" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON

log libtiff
cmake_build "$(ls -d tiff-*/)" -DBUILD_SHARED_LIBS=ON -Dtiff-tools=OFF -Dtiff-tests=OFF \
  -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=ON -Djpeg=ON -Dold-jpeg=ON \
  -Dlibdeflate=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF

log libwebp
cmake_build "$(ls -d libwebp-*/)" -DBUILD_SHARED_LIBS=OFF -DWEBP_BUILD_ANIM_UTILS=OFF \
  -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF \
  -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF -DWEBP_BUILD_WEBPINFO=OFF \
  -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF

log opencv
off=""
for w in 1394 ADE ARAVIS CAROTENE CLP CUDA DIRECTX DSHOW EIGEN FFMPEG GDAL GDCM GPHOTO2 \
  GSTREAMER GTK HALIDE HPX IPP ITT JASPER LAPACK LIBREALSENSE MFX MSMF \
  OBSENSOR ONNX OPENCL OPENCLAMDBLAS OPENCLAMDFFT OPENEXR OPENGL OPENJPEG OPENNI OPENNI2 \
  OPENVINO OPENVX PROTOBUF PVAPI QT QUIRC TBB UEYE V4L VA VA_INTEL VTK VULKAN WEBNN XIMEA; do
  off="$off -DWITH_$w=OFF"
done
# shellcheck disable=SC2086
cmake_build "$(ls -d opencv-*/)" $off -DWITH_WIN32UI=ON -DWITH_PNG=ON -DWITH_JPEG=ON \
  -DWITH_TIFF=ON -DWITH_WEBP=ON -DWITH_IMGCODEC_PFM=ON \
  -DBUILD_LIST=core,imgproc,imgcodecs,highgui -DBUILD_SHARED_LIBS=ON \
  -DBUILD_ZLIB=OFF -DBUILD_PNG=OFF -DBUILD_JPEG=OFF -DBUILD_TIFF=OFF -DBUILD_WEBP=OFF \
  -DBUILD_OPENJPEG=OFF -DBUILD_JASPER=OFF -DBUILD_OPENEXR=OFF -DBUILD_PROTOBUF=OFF \
  -DBUILD_TESTS=OFF -DBUILD_PERF_TESTS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_opencv_apps=OFF \
  -DBUILD_DOCS=OFF -DBUILD_JAVA=OFF -DBUILD_opencv_python2=OFF -DBUILD_opencv_python3=OFF \
  -DBUILD_opencv_world=OFF -DBUILD_opencv_js=OFF -DOPENCV_GENERATE_PKGCONFIG=OFF \
  -DENABLE_PRECOMPILED_HEADERS=OFF -DINSTALL_CREATE_DISTRIB=OFF -DZLIB_ROOT="$prefix"

cd /
rm -rf "$work"
touch "$prefix/.complete"
echo "$prefix" >"$root/resolved-$key"
log "done"
echo "$prefix"
