// Log monitor in System V shared memory: a process that opens its process
// log registers under its name so that a monitor program can watch it.
#ifndef DEP_LOG_H_
#define DEP_LOG_H_

// Registers the calling process under proc_name; never fails its caller
// (a process without a monitor logs normally). Returns 0.
int ul_openshm(const char* proc_name);
// Deregisters the process. Returns 0, or -1 when the semaphore cannot be had.
int ul_closeshm();

#endif  // DEP_LOG_H_
