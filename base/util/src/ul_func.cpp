// Logging wrappers of C-library and system calls: the call is made unchanged
// and its result returned unchanged; a failure adds one WARNING line with the
// arguments, the error number and its text. errno is taken right after the
// call and put back after the log line, whose own file operations may change it.
#include "ul_func.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ul_log.h"
#include "ul_log_errno.h"

namespace {

inline const char* Str(const char* s) { return s == nullptr ? "(null)" : s; }

}  // namespace

// ---- memory ----

void* ul_calloc(size_t n, size_t size) {
  if (n == 0 || size == 0) UL_WARN_KEEP_ERRNO("calloc(%zu,%zu) call failed.Parameter was error.", n, size);
  void* p = calloc(n, size);
  if (p == nullptr) UL_WARN_ERRNO("calloc(%zu,%zu) call failed.error[%d] info is '%s'.", n, size);
  return p;
}

void* ul_malloc(size_t size) {
  void* p = malloc(size);
  if (p == nullptr) {
    UL_WARN_ERRNO("malloc(%zu) call failed.error[%d] info is '%s'.", size);
    return p;
  }
  memset(p, 0, size);
  return p;
}

void* ul_realloc(void* ptr, size_t size) {
  void* p = realloc(ptr, size);
  if (p == nullptr) UL_WARN_ERRNO("realloc(%zu) failed.error[%d] info is '%s'.", size);
  return p;
}

void ul_free(void* ptr) {
  if (ptr != nullptr) free(ptr);
}

// ---- file descriptors ----

int ul_open(const char* path, int flags, mode_t mode) {
  int r = open(path, flags, mode);
  if (r == -1) {
    UL_WARN_ERRNO("open(%s,%d,%d) call failed.error[%d] info is '%s'.", Str(path), flags,
                  static_cast<int>(mode));
  }
  return r;
}

ssize_t ul_read(int fd, void* buf, size_t n) {
  ssize_t r = read(fd, buf, n);
  if (r == -1) UL_WARN_ERRNO("read(%d,%zu) call failed.error[%d] info is '%s'.", fd, n);
  return r;
}

ssize_t ul_write(int fd, const void* buf, size_t n) {
  ssize_t r = write(fd, buf, n);
  if (r == -1) UL_WARN_ERRNO("write(%d,%zu) call failed.error[%d] info is '%s'.", fd, n);
  return r;
}

int ul_close(int fd) {
  int r = close(fd);
  if (r == -1) UL_WARN_ERRNO("close(%d) call failed.error[%d] info is '%s'.", fd);
  return r;
}

int ul_fcntl(int fd, int cmd, ...) {
  // As fcntl itself: the optional third argument is taken as a pointer-sized word.
  va_list ap;
  va_start(ap, cmd);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  int r = fcntl(fd, cmd, arg);
  if (r == -1) {
    UL_WARN_ERRNO("fcntl(%d,%d,%d) call failed.error[%d] info is '%s'.", fd, cmd,
                  static_cast<int>(reinterpret_cast<intptr_t>(arg)));
  }
  return r;
}

int ul_dup(int fd) {
  int r = dup(fd);
  if (r == -1) UL_WARN_ERRNO("dup(%d) call failed.error[%d] info is '%s'.", fd);
  return r;
}

int ul_dup2(int oldfd, int newfd) {
  int r = dup2(oldfd, newfd);
  if (r == -1) UL_WARN_ERRNO("dup2(%d) call failed.error[%d] info is '%s'.", oldfd);
  return r;
}

off_t ul_lseek(int fd, off_t off, int whence) {
  off_t r = lseek(fd, off, whence);
  if (r == -1) {
    UL_WARN_ERRNO("lseek(%d,%ld,%d) call failed.error(%d) info is %s.", fd,
                  static_cast<long>(off), whence);
  }
  return r;
}

int ul_pipe(int fds[2]) {
  int r = pipe(fds);
  if (r == -1) UL_WARN_ERRNO("pipe() call failed.error(%d) info is %s.");
  return r;
}

int ul_stat(const char* path, struct stat* st) {
  int r = stat(path, st);
  if (r == -1) UL_WARN_ERRNO("stat(%s) call failed.error[%d] info is '%s'.", Str(path));
  return r;
}

int ul_fstat(int fd, struct stat* st) {
  int r = fstat(fd, st);
  if (r == -1) UL_WARN_ERRNO("fstat(%d) call failed.error[%d] info is '%s'.", fd);
  return r;
}

int ul_unlink(const char* path) {
  int r = unlink(path);
  if (r == -1) UL_WARN_ERRNO("unlink(%s) call failed.error[%d] info is '%s'.", Str(path));
  return r;
}

int ul_fchmod(int fd, mode_t mode) {
  int r = fchmod(fd, mode);
  if (r == -1) {
    UL_WARN_ERRNO("fchmod(%d,%d) call failed,error[%d] info is '%s'.", fd, static_cast<int>(mode));
  }
  return r;
}

int ul_chdir(const char* path) {
  int r = chdir(path);
  if (r == -1) UL_WARN_ERRNO("chdir(%s) call failed.error[%d] info is '%s'.", Str(path));
  return r;
}

int ul_fchdir(int fd) {
  int r = fchdir(fd);
  if (r == -1) UL_WARN_ERRNO("fchdir(%d) call failed,error[%d] info is '%s'.", fd);
  return r;
}

int ul_fchown(int fd, uid_t owner, gid_t group) {
  int r = fchown(fd, owner, group);
  if (r == -1) {
    UL_WARN_ERRNO("fchown(%d,%d,%d) call failed,error[%d] info is '%s'.", fd,
                  static_cast<int>(owner), static_cast<int>(group));
  }
  return r;
}

int ul_truncate(const char* path, off_t len) {
  int r = truncate(path, len);
  if (r == -1) {
    UL_WARN_ERRNO("truncate(%s,%ld) call failed.error[%d] info is '%s'.", Str(path),
                  static_cast<long>(len));
  }
  return r;
}

int ul_ftruncate(int fd, off_t len) {
  int r = ftruncate(fd, len);
  if (r == -1) {
    UL_WARN_ERRNO("ftruncate(%d,%ld) call failed.error[%d] info is '%s'.", fd,
                  static_cast<long>(len));
  }
  return r;
}

// fpathconf and pathconf answer -1 with errno untouched for a name without a
// limit: that case returns -100 silently.
long ul_fpathconf(int fd, int name) {
  int before = errno;
  errno = 0;
  long r = fpathconf(fd, name);
  if (r == -1 && errno == 0) {
    errno = before;
    return -100;
  }
  if (r == -1) UL_WARN_ERRNO("fpathconf(%d,%d) call failed.error[%d] info is '%s'.", fd, name);
  else errno = before;
  return r;
}

long ul_pathconf(const char* path, int name) {
  int before = errno;
  errno = 0;
  long r = pathconf(path, name);
  if (r == -1 && errno == 0) {
    errno = before;
    return -100;
  }
  if (r == -1) UL_WARN_ERRNO("pathconf(%s,%d) call failed.error[%d] info is '%s'.", Str(path), name);
  else errno = before;
  return r;
}

void* ul_mmap(void* addr, size_t len, int prot, int flags, int fd, off_t off) {
  void* r = mmap(addr, len, prot, flags, fd, off);
  if (r == MAP_FAILED) {
    UL_WARN_ERRNO("mmap(%p,%zu,%d,%d,%d,%ld) call failed.error[%d] info is '%s'.", addr, len, prot,
                  flags, fd, static_cast<long>(off));
  }
  return r;
}

int ul_munmap(void* addr, size_t len) {
  int r = munmap(addr, len);
  if (r == -1) UL_WARN_ERRNO("munmap(%p,%zu) call filed.error[%d] info is '%s'.", addr, len);
  return r;
}

// ---- streams ----

FILE* ul_fopen(const char* path, const char* mode) {
  FILE* r = fopen(path, mode);
  if (r == nullptr) {
    UL_WARN_ERRNO("fopen(\"%s\", \"%s\") failed.error[%d] info is '%s'.", Str(path), Str(mode));
  }
  return r;
}

int ul_fclose(FILE* fp) {
  if (fp == nullptr) {  // fclose(NULL) would crash
    errno = EINVAL;
    UL_WARN_ERRNO("fclose() call was failed.error[%d] info is '%s'.");
    return -1;
  }
  int r = fclose(fp);
  if (r != 0) {
    UL_WARN_ERRNO("fclose() call was failed.error[%d] info is '%s'.");
    return -1;
  }
  return 0;
}

FILE* ul_fdopen(int fd, const char* mode) {
  FILE* r = fdopen(fd, mode);
  if (r == nullptr) {
    UL_WARN_ERRNO("fdopen(%d,%s) call was failed.error[%d] info is '%s'.", fd, Str(mode));
  }
  return r;
}

FILE* ul_freopen(const char* path, const char* mode, FILE* fp) {
  FILE* r = freopen(path, mode, fp);
  if (r == nullptr) {
    UL_WARN_ERRNO("freopen(%s,%s) call failed.error[%d] info is '%s'.", Str(path), Str(mode));
  }
  return r;
}

char* ul_fgets(char* buf, int n, FILE* fp) {
  char* r = fgets(buf, n, fp);
  if (r == nullptr && ferror(fp)) UL_WARN_ERRNO("fgets(%d) call failed.error[%d] info is '%s'.", n);
  return r;
}

int ul_fputs(const char* str, FILE* fp) {
  if (str == nullptr) {
    UL_WARN_KEEP_ERRNO("Parameter 'ptr' was NULL.");
    return -1;
  }
  int r = fputs(str, fp);
  if (r == EOF) {
    UL_WARN_ERRNO("fputs(len=%zu) call failed.error[%d] info is '%s'.", strlen(str));
  }
  return r;
}

int ul_fseek(FILE* fp, long off, int whence) {
  int r = fseek(fp, off, whence);
  if (r == -1) UL_WARN_ERRNO("fseek(%ld,%d) call failed.error[%d] info is '%s'.", off, whence);
  return r;
}

long ul_ftell(FILE* fp) {
  long r = ftell(fp);
  if (r == -1) UL_WARN_ERRNO("ftell() call failed.error[%d] info is '%s'.");
  return r;
}

void ul_rewind(FILE* fp) { rewind(fp); }

int ul_fgetpos(FILE* fp, fpos_t* pos) {
  int r = fgetpos(fp, pos);
  if (r != 0) UL_WARN_ERRNO("fgetpos() call failed.error[%d] info is '%s'.");
  return r;
}

int ul_fsetpos(FILE* fp, const fpos_t* pos) {
  int r = fsetpos(fp, pos);
  if (r != 0) UL_WARN_ERRNO("fsetpos call failed.error[%d] info is '%s'.");
  return r;
}

int ul_remove(const char* path) {
  int r = remove(path);
  if (r == -1) UL_WARN_ERRNO("remove(%s) call failed.error[%d] info is '%s'.", Str(path));
  return r;
}

int ul_rename(const char* oldpath, const char* newpath) {
  if (oldpath == nullptr || newpath == nullptr || *oldpath == '\0' || *newpath == '\0') return -1;
  int r = rename(oldpath, newpath);
  if (r == -1) UL_WARN_ERRNO("rename(%s,%s) call failed.error[%d] info is '%s'.", oldpath, newpath);
  return r;
}

FILE* ul_tmpfile() {
  FILE* r = tmpfile();
  if (r == nullptr) UL_WARN_ERRNO("tmpfile() call failed.error[%d] info is '%s'.");
  return r;
}

FILE* ul_popen(const char* cmd, const char* mode) {
  if (cmd == nullptr || mode == nullptr || *cmd == '\0' || *mode == '\0') return nullptr;
  FILE* r = popen(cmd, mode);
  if (r == nullptr) UL_WARN_ERRNO("popen(%s,%s) call failed.error[%d] info is '%s'.", cmd, mode);
  return r;
}

int ul_pclose(FILE* fp) {
  if (fp == nullptr) return -1;
  int r = pclose(fp);
  if (r == -1) UL_WARN_ERRNO("pclose() call failed.error[%d] info is '%s'.");
  return r;
}

// ---- directories ----

DIR* ul_opendir(const char* path) {
  DIR* r = opendir(path);
  if (r == nullptr) UL_WARN_ERRNO("opendir(%s) call failed.error[%d] info is '%s'.", Str(path));
  return r;
}

struct dirent* ul_readdir(DIR* dir) {
  struct dirent* r = readdir(dir);
  if (r == nullptr) UL_WARN_ERRNO("readdir() call failed.error[%d] info is '%s'.");
  return r;
}

int ul_closedir(DIR* dir) {
  if (dir == nullptr) {
    UL_WARN_ERRNO("closedir() call failed.error[%d] info is '%s'.");
    return -1;
  }
  int r = closedir(dir);
  if (r == -1) UL_WARN_ERRNO("closedir() call failed.error[%d] info is '%s'.");
  return r;
}

// ---- signals ----

int ul_kill(pid_t pid, int sig) {
  int r = kill(pid, sig);
  if (r == -1) {
    UL_WARN_ERRNO("kill(%d,%d) call failed.error[%d] info is '%s'.", static_cast<int>(pid), sig);
  } else if (pid == -1) {
    UL_WARN_KEEP_ERRNO("kill process(pid == -1 ) executed successfully.");
  }
  return r;
}

int ul_raise(int sig) {
  int r = raise(sig);
  if (r != 0) UL_WARN_ERRNO("raise(%d) call failed.error[%d] info is '%s'.", sig);
  return r;
}

unsigned int ul_alarm(unsigned int sec) { return alarm(sec); }

int ul_sigemptyset(sigset_t* set) {
  int r = sigemptyset(set);
  if (r == -1) UL_WARN_ERRNO("sigemptyset() call failed.error[%d] info is '%s'.");
  return r;
}

int ul_sigfillset(sigset_t* set) {
  int r = sigfillset(set);
  if (r == -1) UL_WARN_ERRNO("sigfillset() call failed.error[%d] info is '%s'.");
  return r;
}

int ul_sigaddset(sigset_t* set, int sig) {
  int r = sigaddset(set, sig);
  if (r == -1) UL_WARN_ERRNO("sigaddset(%d) call failed.error[%d] info is '%s'.", sig);
  return r;
}

int ul_sigdelset(sigset_t* set, int sig) {
  int r = sigdelset(set, sig);
  if (r == -1) UL_WARN_ERRNO("sigdelset(%d) call failed.error[%d] info is '%s'.", sig);
  return r;
}

int ul_sigismember(const sigset_t* set, int sig) {
  int r = sigismember(set, sig);
  if (r == -1) UL_WARN_ERRNO("sigismember(%d) call failed.error[%d] info is '%s'.", sig);
  return r;
}

int ul_sigaction(int sig, const struct sigaction* act, struct sigaction* oact) {
  int r = sigaction(sig, act, oact);
  if (r == -1) UL_WARN_ERRNO("sigaction(%d) call failed.error[%d] info is '%s'.", sig);
  return r;
}

int ul_sigprocmask(int how, const sigset_t* set, sigset_t* oset) {
  int r = sigprocmask(how, set, oset);
  if (r == -1) UL_WARN_ERRNO("sigprocmask(%d) call failed.error[%d] info is '%s'.", how);
  return r;
}

int ul_sigpending(sigset_t* set) {
  int r = sigpending(set);
  if (r == -1) UL_WARN_ERRNO("sigpending() call failed.error[%d] info is '%s'.");
  return r;
}

int ul_sigsuspend(const sigset_t* set) {
  int r = sigsuspend(set);
  if (r == -1) UL_WARN_ERRNO("sigsuspend() call failed.error[%d] info is '%s'.");
  return r;
}

int ul_pause() { return pause(); }

// ---- processes ----

pid_t ul_fork() {
  pid_t r = fork();
  if (r == -1) UL_WARN_ERRNO("fork() call failed.error[%d] info is '%s'.");
  return r;
}

int ul_execve(const char* path, char* const argv[], char* const envp[]) {
  int r = execve(path, argv, envp);
  if (r == -1) UL_WARN_ERRNO("execve(%s) call failed.error[%d] info is '%s'.", Str(path));
  return r;
}

pid_t ul_wait(int* status) {
  pid_t r = wait(status);
  if (r <= 0) UL_WARN_ERRNO("wait() call failed.error[%d] info is '%s'.");
  return r;
}

pid_t ul_waitpid(pid_t pid, int* status, int options) {
  pid_t r = waitpid(pid, status, options);
  if (r <= 0) {
    UL_WARN_ERRNO("waitpid(%d,%d) call failed.error[%d] info is '%s'.", static_cast<int>(pid),
                  options);
  }
  return r;
}

pid_t ul_getpid() { return getpid(); }

int ul_setpgid(pid_t pid, pid_t pgid) {
  int r = setpgid(pid, pgid);
  if (r == -1) {
    UL_WARN_ERRNO("setpgid(%d,%d) call failed.error[%d] info is '%s'.", static_cast<int>(pid),
                  static_cast<int>(pgid));
  }
  return r;
}

int ul_setpgrp() {
  int r = setpgid(0, 0);
  if (r == -1) UL_WARN_ERRNO("setpgrp() call failed.error[%d] info is '%s'.");
  return r;
}

pid_t ul_getpgrp() { return getpgrp(); }

int ul_mkfifo(const char* path, mode_t mode) {
  if (path == nullptr || *path == '\0') return -1;
  int r = mkfifo(path, mode);
  if (r == -1) {
    UL_WARN_ERRNO("mkfifo(%s,%d) call failed.error[%d] info is '%s'.", path, static_cast<int>(mode));
  }
  return r;
}

// ---- System V IPC ----

key_t ul_ftok(const char* path, int id) {
  key_t r = ftok(path, id);
  if (r == -1) UL_WARN_ERRNO("ftok(%s,%c) call failed.error[%d] info is '%s'.", Str(path), id);
  return r;
}

int ul_shmget(key_t key, size_t size, int flags) {
  if (key < 0) return -1;
  int r = shmget(key, size, flags);
  if (r == -1) {
    UL_WARN_ERRNO("shmget(%d,%zu,%d) call failed.error[%d] info is '%s'.", static_cast<int>(key),
                  size, flags);
  }
  return r;
}

void* ul_shmat(int id, const void* addr, int flags) {
  void* r = shmat(id, addr, flags);
  if (r == reinterpret_cast<void*>(-1)) {
    UL_WARN_ERRNO("shmat(%d,%d) call failed.error[%d] info is '%s'.", id, flags);
  }
  return r;
}

int ul_shmdt(const void* addr) {
  int r = shmdt(addr);
  if (r == -1) UL_WARN_ERRNO("shmdt() call failed.error[%d] info is '%s'.");
  return r;
}

int ul_shmctl(int id, int cmd, struct shmid_ds* buf) {
  int r = shmctl(id, cmd, buf);
  if (r == -1) UL_WARN_ERRNO("shmctl(%d,%d) call failed.error[%d] info is '%s'.", id, cmd);
  return r;
}

int ul_semget(key_t key, int n, int flags) {
  int r = semget(key, n, flags);
  if (r == -1) {
    UL_WARN_ERRNO("semget(%d,%d,%d) call failed.error[%d] info is '%s'.", static_cast<int>(key), n,
                  flags);
  }
  return r;
}

namespace {
// The argument of semctl; callers define their own union of this shape.
union SemArg {
  int val;
  struct semid_ds* buf;
  unsigned short* array;
  struct seminfo* info;
};
}  // namespace

int ul_semctl(int id, int num, int cmd, ...) {
  SemArg arg;
  arg.buf = nullptr;
  switch (cmd) {
    case IPC_STAT:
    case IPC_SET:
    case IPC_INFO:
    case GETALL:
    case SETALL:
    case SETVAL:
    case SEM_STAT:
    case SEM_INFO:
#ifdef SEM_STAT_ANY
    case SEM_STAT_ANY:
#endif
    {
      va_list ap;
      va_start(ap, cmd);
      arg = va_arg(ap, SemArg);
      va_end(ap);
      break;
    }
    default:
      break;
  }
  int r = semctl(id, num, cmd, arg);
  if (r == -1) {
    UL_WARN_ERRNO("semctl(%d,%d,%d) call failed.error[%d] info is '%s'.", id, num, cmd);
  }
  return r;
}

int ul_semop(int id, struct sembuf* ops, size_t n) {
  int r;
  do {
    r = semop(id, ops, n);
  } while (r == -1 && errno == EINTR);
  if (r == -1) UL_WARN_ERRNO("semop(%d) call failed.error[%d] info is '%s'.", id);
  return r;
}

int ul_msgget(key_t key, int flags) {
  int r = msgget(key, flags);
  if (r == -1) {
    UL_WARN_ERRNO("msgget(%d,%d) call failed.error[%d] info is '%s'.", static_cast<int>(key), flags);
  }
  return r;
}

int ul_msgctl(int id, int cmd, struct msqid_ds* buf) {
  int r = msgctl(id, cmd, buf);
  if (r == -1) UL_WARN_ERRNO("msgctl(%d,%d) call failed.error[%d] info is '%s'.", id, cmd);
  return r;
}

int ul_msgsnd(int id, const void* msg, size_t size, int flags) {
  int r = msgsnd(id, msg, size, flags);
  if (r == -1) {
    UL_WARN_ERRNO("msgsnd(%d,%zu,%d) call failed.error[%d] info is '%s'.", id, size, flags);
  }
  return r;
}

ssize_t ul_msgrcv(int id, void* msg, size_t size, long type, int flags) {
  ssize_t r = msgrcv(id, msg, size, type, flags);
  if (r == -1) {
    UL_WARN_ERRNO("msgrcv(%d,%zu,%ld,%d) call failed.error[%d] info is '%s'.", id, size, type,
                  flags);
  }
  return r;
}
