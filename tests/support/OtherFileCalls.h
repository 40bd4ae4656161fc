#pragma once
// A test's other system: a table of file calls that passes every call to
// the one the file acts use now, for a test to change only the calls it
// models.
#include "FileCalls.h"

namespace testing_support {

class OtherFileCalls : public norvale::IFileCalls {
 public:
  bool Available() const override { return system_.Available(); }
  norvale::nt::Status CreateIn(HANDLE root, std::wstring_view name, ACCESS_MASK access,
                               ULONG attributes, ULONG share, ULONG disposition, ULONG options,
                               PVOID descriptor, HANDLE* opened) const override {
    return system_.CreateIn(root, name, access, attributes, share, disposition, options,
                            descriptor, opened);
  }
  norvale::nt::Status Query(HANDLE file, PVOID information, ULONG length,
                            ULONG informationClass) const override {
    return system_.Query(file, information, length, informationClass);
  }
  norvale::nt::Status Set(HANDLE file, PVOID information, ULONG length,
                          ULONG informationClass) const override {
    return system_.Set(file, information, length, informationClass);
  }
  bool SetByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information,
                   DWORD size) const override {
    return system_.SetByHandle(file, kind, information, size);
  }
  bool Dispose(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, PVOID information, DWORD size,
               norvale::Disposals& across, const norvale::KnownOfIt& known) const override {
    return system_.Dispose(file, kind, information, size, across, known);
  }
  DWORD ErrorOf(norvale::nt::Status status) const override { return system_.ErrorOf(status); }

 protected:
  const norvale::IFileCalls& system_ = norvale::FileCalls();
};

}  // namespace testing_support
