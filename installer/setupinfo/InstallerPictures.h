#pragma once
// Resource numbers of the pictures the windows show, taken from the
// program's own module: the installer links them in from the wizard's
// resources, the uninstaller carries the header picture under the same
// number.
namespace norvale {

constexpr int kPictureHeader = 201;
constexpr int kPictureSidePanel = 202;

}  // namespace norvale
