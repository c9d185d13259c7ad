// FileAppender ("FILE"): a log file written with one write per line from
// the writing thread. Each thread writes through a descriptor of its own,
// opened in append mode, so lines of different threads never mix. Before a
// line is written the file is cut when due (by size, and by time for
// DATECUT devices; see logcut.h) and opened again when it was moved away or
// removed; a QuotaChecker bounds the backups the cuts leave.
#ifndef COMLOG_APPENDER_FILEAPPENDER_H_
#define COMLOG_APPENDER_FILEAPPENDER_H_

#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "comlog/appender/appender.h"
#include "comlog/appender/logcut.h"
#include "comlog/appender/tornfile.h"

namespace comspace {

class QuotaChecker;

// A thread's descriptor of the file and the inode it was opened on.
struct FileInfo {
  int fd;
  ino_t inode;
};

// Room for PATH, a slash and NAME.
enum { COMLOG_FILE_PATH_SIZE = 1024 + 256 };

class FileAppender : public Appender {
 public:
  FileAppender();
  // Closes every thread's descriptor, then stops the quota checker. What
  // threads still alive kept for this appender goes when they end (or make
  // a record for another appender).
  ~FileAppender() override;

  // Opens PATH/NAME (making PATH when missing) for the calling thread,
  // closing its previous descriptor. 0, or -1.
  int open(void* arg) override;
  // Closes the calling thread's descriptor. 0.
  int close(void* arg) override;
  // Empties the file name and closes the calling thread's descriptor. 0.
  int reset() override;
  // Renders the event and writes it with one write; 0 also when the level
  // is not in the mask, -1 when the line could not be written (it then
  // goes to standard error when the file could not be opened).
  int print(Event* evt) override;
  // Writes one rendered line as print writes an event's: the file cut or
  // opened again first, a line end first in a file left mid-line, and the
  // same answers (-1 when the line did not go in whole).
  int print_line(const char* line, int len);
  // Writes the bytes with one write; 0, or -1 unless all were written.
  int binprint(void* buf, int len) override;
  // Starts the cutting period, opens the file and makes the quota checker,
  // whose first check bounds the backups already there. 0, or -1.
  int init() override;
  // Before each write: opens the file when this thread has no descriptor,
  // the path is gone or names another inode; otherwise cuts it when due.
  // 0, or the failed open's -1. The common case (the thread's file is in
  // place and not due) takes no lock: only a reopen or a cut does.
  int syncid(void* arg) override;

  // The calling thread's descriptor: fd (< 0: none) and the inode it names.
  int set_file_id(int fd);
  int get_file_id();
  ino_t get_file_inode();
  void get_file_info(int* fd, ino_t* inode);

  // The memory of a file left mid-line (tests stand in its identity check).
  TornFile& torn_file() { return _torn; }

  // The appender of the device ("FILE:PATH/NAME", shared with AFILE
  // devices of the same file), made, given the device and initialised when
  // new; NULL when it cannot be made.
  static Appender* getAppender(com_device_t& dev);
  // The registered one only.
  static Appender* tryAppender(com_device_t& dev);

  char _file[COMLOG_FILE_PATH_SIZE] = "";  // PATH/NAME
  struct stat _file_stat;                  // last stat of the path
  int _page = 0;
  // Start of the cutting period (local-time seconds); changed under _lock,
  // read without it by the writers' first look.
  std::atomic<time_t> _lastcutime{0};
  pthread_key_t _file_fd_key;  // the calling thread's record (no destructor)
  QuotaChecker* _qc = nullptr;

 private:
  struct FdTable;
  struct Record;
  // The calling thread's record, made on first use (NULL when it cannot be).
  FileInfo* ThreadInfo(bool make);
  // The records the calling thread made, of every file appender (NULL when
  // the list cannot be had); freed with the thread (FreeThreadRecords).
  static std::vector<Record*>* ThreadRecords();
  static void FreeThreadRecords(void* list);
  // Frees a record of the calling thread, closing its descriptor unless its
  // appender did; with only_if_dead, only once its appender is gone. Whether
  // it was freed.
  static bool ReleaseRecord(Record* rec, bool only_if_dead = false);

  // Writes one line with one write to fd, whose inode number is inode. A
  // file that a short write (a full disk) left ending mid-line first gets a
  // line end, so that the cut line stays visibly cut and this one starts a
  // line of its own. The bytes of the line that went in, or the write's -1.
  ssize_t WriteLine(int fd, ino_t inode, const char* line, size_t len);

  bool _key_made = false;
  // Lines go in one at a time, so that whether the file ends mid-line is
  // known before the next one: _torn is the file that does, if any. The
  // kernel takes its writes to one file in turn anyway; the mutex spins a
  // little before it sleeps, as the kernel's lock does.
  pthread_mutex_t _write_mu;
  TornFile _torn;
  // Every thread's record, so that the destructor closes them all.
  std::shared_ptr<FdTable> _fds;
};

// The registry name of a file device: "FILE:PATH/NAME" (FILE and AFILE
// devices share it, so the kind first asked for a file wins), with the
// path's spellings of one file made one (toolkit::LexicalPath: "DIR",
// "DIR/", "./DIR" and "DIR/." give one name), so that one file has one
// appender: two would each cut it. Symbolic links are not followed; a
// folder reached through one has an appender of its own.
std::string file_appender_name(const com_device_t& dev);
// The file appender registered for the device, or a new one from make,
// given the device and initialised, then registered; NULL when it cannot
// be made or initialised ("init log[%s] err %m").
Appender* get_file_appender(com_device_t& dev, Appender* (*make)());
// The file appender registered for the device, or NULL.
Appender* try_file_appender(const com_device_t& dev);

}  // namespace comspace

#endif  // COMLOG_APPENDER_FILEAPPENDER_H_
