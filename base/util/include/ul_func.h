// Logging wrappers of C-library and system calls. Each makes the call with
// the same arguments and returns its result unchanged; when the result
// signals failure it writes one WARNING line through ul_writelog with the
// arguments, the error number and its text. errno is preserved across the
// log line, so callers test the result and errno as they would for the call.
#ifndef UL_FUNC_H_
#define UL_FUNC_H_

#include <dirent.h>
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/types.h>

// Memory. ul_malloc zero-fills the block.
void* ul_calloc(size_t n, size_t size);
void* ul_malloc(size_t size);
void* ul_realloc(void* ptr, size_t size);
void ul_free(void* ptr);

// File descriptors.
int ul_open(const char* path, int flags, mode_t mode = 0);
ssize_t ul_read(int fd, void* buf, size_t n);
ssize_t ul_write(int fd, const void* buf, size_t n);
int ul_close(int fd);
// The third argument, when cmd takes one, is passed on as for fcntl.
int ul_fcntl(int fd, int cmd, ...);
int ul_dup(int fd);
int ul_dup2(int oldfd, int newfd);
off_t ul_lseek(int fd, off_t off, int whence);
int ul_pipe(int fds[2]);
int ul_stat(const char* path, struct stat* st);
int ul_fstat(int fd, struct stat* st);
int ul_unlink(const char* path);
int ul_fchmod(int fd, mode_t mode);
int ul_chdir(const char* path);
int ul_fchdir(int fd);
int ul_fchown(int fd, uid_t owner, gid_t group);
int ul_truncate(const char* path, off_t len);
int ul_ftruncate(int fd, off_t len);
// -100 (no message) when the name has no limit.
long ul_fpathconf(int fd, int name);
long ul_pathconf(const char* path, int name);
void* ul_mmap(void* addr, size_t len, int prot, int flags, int fd, off_t off);
int ul_munmap(void* addr, size_t len);

// Streams.
FILE* ul_fopen(const char* path, const char* mode);
int ul_fclose(FILE* fp);  // 0 or -1
FILE* ul_fdopen(int fd, const char* mode);
FILE* ul_freopen(const char* path, const char* mode, FILE* fp);
char* ul_fgets(char* buf, int n, FILE* fp);  // end of file is not logged
int ul_fputs(const char* str, FILE* fp);
int ul_fseek(FILE* fp, long off, int whence);
long ul_ftell(FILE* fp);
void ul_rewind(FILE* fp);
int ul_fgetpos(FILE* fp, fpos_t* pos);
int ul_fsetpos(FILE* fp, const fpos_t* pos);
int ul_remove(const char* path);
int ul_rename(const char* oldpath, const char* newpath);
FILE* ul_tmpfile();
FILE* ul_popen(const char* cmd, const char* mode);
int ul_pclose(FILE* fp);

// Directories.
DIR* ul_opendir(const char* path);
struct dirent* ul_readdir(DIR* dir);  // the end of the directory is logged too
int ul_closedir(DIR* dir);

// Signals.
int ul_kill(pid_t pid, int sig);
int ul_raise(int sig);
unsigned int ul_alarm(unsigned int sec);
int ul_sigemptyset(sigset_t* set);
int ul_sigfillset(sigset_t* set);
int ul_sigaddset(sigset_t* set, int sig);
int ul_sigdelset(sigset_t* set, int sig);
int ul_sigismember(const sigset_t* set, int sig);
int ul_sigaction(int sig, const struct sigaction* act, struct sigaction* oact);
int ul_sigprocmask(int how, const sigset_t* set, sigset_t* oset);
int ul_sigpending(sigset_t* set);
int ul_sigsuspend(const sigset_t* set);
int ul_pause();

// Processes.
pid_t ul_fork();
int ul_execve(const char* path, char* const argv[], char* const envp[]);
pid_t ul_wait(int* status);                         // any result <= 0 is logged
pid_t ul_waitpid(pid_t pid, int* status, int options);  // any result <= 0 is logged
pid_t ul_getpid();
int ul_setpgid(pid_t pid, pid_t pgid);
int ul_setpgrp();
pid_t ul_getpgrp();
int ul_mkfifo(const char* path, mode_t mode);

// System V IPC.
key_t ul_ftok(const char* path, int id);
int ul_shmget(key_t key, size_t size, int flags);
void* ul_shmat(int id, const void* addr, int flags);
int ul_shmdt(const void* addr);
int ul_shmctl(int id, int cmd, struct shmid_ds* buf);
int ul_semget(key_t key, int n, int flags);
// The fourth argument, when cmd takes one, is a union semun as for semctl.
int ul_semctl(int id, int num, int cmd, ...);
int ul_semop(int id, struct sembuf* ops, size_t n);  // retried on EINTR
int ul_msgget(key_t key, int flags);
int ul_msgctl(int id, int cmd, struct msqid_ds* buf);
int ul_msgsnd(int id, const void* msg, size_t size, int flags);
ssize_t ul_msgrcv(int id, void* msg, size_t size, long type, int flags);

#endif  // UL_FUNC_H_
