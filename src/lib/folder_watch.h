// Tells whether anything in one folder changed since the last look, without touching its
// files: one read of the kernel's event queue instead of a stat or a listing of every file a
// once-a-tick poll cares about. Made by lib::FileSystem::watch_folder.
//
// What it sees: a file in the folder written, created, removed, renamed in or out, its
// attributes changed; the folder itself removed or moved. It cannot see what another machine
// changes on a network file system: a caller that must notice that too looks at its files
// anyway now and then.
//
// Not thread-safe: one poller.
#pragma once

namespace lib {

class FolderWatch {
 public:
  virtual ~FolderWatch() = default;
  // True when something changed since the last call (or since the watch was made), and from
  // then on always when the watch can no longer tell (the folder went away or the kernel's
  // queue overflowed): the caller then looks at the files.
  virtual bool changed() = 0;
};

}  // namespace lib
