#pragma once
// The points where the programs meet the user and the clock. Production uses
// the real calls; tests put in their own to answer questions, record them and
// move time.
#include <windows.h>

#include <memory>
#include <string>

namespace norvale {

// Every message box of the system goes through this.
class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // Returns the pressed button's id (IDOK, IDYES, ...), 0 when no box could
  // be shown.
  virtual int Show(const std::wstring& text, const std::wstring& title, unsigned style) = 0;
};

// The local time of day.
class IClock {
 public:
  virtual ~IClock() = default;
  virtual SYSTEMTIME LocalNow() = 0;
};

// Lets the window's message loop run during a long step.
class IMessagePump {
 public:
  virtual ~IMessagePump() = default;
  virtual void DoEvents() = 0;
};

// What an open file or folder is and where it lies, as its handle says.
struct HandleFacts {
  DWORD attributes = 0;  // as FileAttributeTagInfo gives them
  std::wstring lies;     // FinalPathOfHandle's form (Paths.h)
  DWORD volume = 0;      // the volume's serial number
};

// Where the file system finds an existing file or folder. Windows and Wine
// answer differently for junctions and links, and Wine maps every drive of a
// test prefix onto one Unix file system, so tests can answer as Windows does.
class IFinalPaths {
 public:
  virtual ~IFinalPaths() = default;
  // The path's final form ("\\?\" taken off, no closing separator but where
  // FinalPathOfHandle keeps one), every link on the way followed; a link in
  // the last part too only when followLast. Empty when it does not exist or
  // cannot be asked.
  virtual std::wstring FinalPathOf(const std::wstring& path, bool followLast) const = 0;
  // What an open handle is, where it lies and on which volume; false when
  // the system cannot say.
  virtual bool FactsOf(HANDLE handle, HandleFacts& facts) const;
  // The name the system gives the volume an open handle lies on
  // ("\\?\Volume{...}\"): two volumes may share a serial number (a cloned
  // disk), never this name. Empty when it cannot be asked.
  virtual std::wstring VolumeNameOf(HANDLE handle) const;
};

class SystemMessageBox final : public IMessageBox {
 public:
  int Show(const std::wstring& text, const std::wstring& title, unsigned style) override;
};

class SystemClock final : public IClock {
 public:
  SYSTEMTIME LocalNow() override;
};

class SystemMessagePump final : public IMessagePump {
 public:
  void DoEvents() override;
};

class SystemFinalPaths final : public IFinalPaths {
 public:
  std::wstring FinalPathOf(const std::wstring& path, bool followLast) const override;
};

// The seams one object uses. Owners hand theirs to the objects they own.
struct Seams {
  std::shared_ptr<IMessageBox> messageBox;
  std::shared_ptr<IClock> clock;
  std::shared_ptr<IMessagePump> pump;

  static Seams System();
};

// Seconds since local midnight with the fraction, as the time of day reads.
double SecondsOfDay(const SYSTEMTIME& t);

}  // namespace norvale
