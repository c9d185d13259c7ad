// Log monitor in System V shared memory: a process that opens its process
// log registers under its name so that a monitor program can watch it. Each
// registered process holds a control slot and a data block of named integer
// counters and a text area; the monitor lists the processes, reads their
// counters and clears slots.
//
// The segment (key 988988) and the semaphore set (key 899899, one semaphore,
// 1 = free) are found by every process of the machine, so their layout is a
// format: 1000 control slots of 288 bytes, then 1000 data blocks of
// N x 36 + 640 bytes, N = 100 + namenum_inc items per process. Every party
// must agree on N (ul_set_namenum); a process whose N does not give the
// segment's size stays unregistered. Free slots, items and text areas hold
// "@NULL@" (free values -1).
//
// All messages go to standard error, none to the log.
#ifndef DEP_LOG_H_
#define DEP_LOG_H_

#define UL_LOG_SHM_KEY 988988
#define UL_LOG_SEM_KEY 899899
#define UL_LOG_MAX_PROC 1000    // control slots and data blocks
#define UL_LOG_ITEM_NAME 32     // bytes of a counter name, NUL included
#define UL_LOG_TEXT_SIZE 640    // bytes of a block's text area
#define UL_LOG_FREE_MARK "@NULL@"

// One control slot (288 bytes).
typedef struct ul_log_ctrl {
  char processname[256];  // NUL-terminated; "@NULL@" when free
  int processid;          // -1 when free
  char start_time[20];    // "@NULL@" when free; not written by registration
  struct ul_log_ctrl* next;  // not used
} ul_log_ctrl;

// One counter of a data block (36 bytes).
typedef struct Ul_log_item {
  char name[UL_LOG_ITEM_NAME];  // "@NULL@" when free
  int value;                    // -1 when free
} Ul_log_item;

// ---------------------------------------------------------------------------
// Process side

// Sets the items per process to namenum (at least 100) for the segment this
// process creates or joins; returns that count.
int ul_set_namenum(int namenum);
// Registers the calling process under proc_name (called by ul_openlog):
// takes the slot of that name again (its counters reset) or the first free
// one. Never fails its caller: with no monitor, no free slot or a segment of
// another layout the process just stays unregistered. Returns 0.
int ul_openshm(const char* proc_name);
// Deregisters the process (called by ul_closelog): its slot and block are
// freed when the slot still holds this process. 0, or -1 when the semaphore
// cannot be had.
int ul_closeshm();
// Takes the next counter of the block, named name (at most 31 bytes), with
// the value ini_val. The same name twice makes two counters. 0 or -1.
int ul_log_assign(char* name, int ini_val);
// Index of the first counter named name, or -1.
int ul_log_getid(char* name);
// Sets / adds to counter rel_loc (0..N-1). 0 or -1.
int ul_log_setval(int rel_loc, int val);
int ul_log_addval(int rel_loc, int val);

// ---------------------------------------------------------------------------
// Monitor side

// Creates the segment and the semaphore (failing when either exists) and
// attaches the segment. The new segment is zero-filled: clean it with
// ul_log_cleanshm(NULL, NULL, false) before processes register. 0 or -1
// (nothing left behind).
int ul_log_createshm();
// Attaches the existing segment read-write; -1 when it is absent or of
// another layout.
int ul_log_attachshm();
// Detaches it (0 when not attached) and forgets the listing cursors.
int ul_log_deattachshm();
// proc_name NULL: frees every slot and block. proc_name given, item_name NULL
// and clean_buff false: frees that process's slot and block. Otherwise, for
// that process, resets the text area when clean_buff and frees the counter
// item_name when given. 0, or -1 when not attached or the process or the
// counter is absent.
int ul_log_cleanshm(char* proc_name, char* item_name, bool clean_buff);
// Copies the next registered slot (named proc_name when given) into
// *proc_ctrl: 1, 0 when there is none left, -1 when not attached. A NULL
// proc_ctrl rewinds to the first slot (0).
int ul_log_listproc(char* proc_name, ul_log_ctrl* proc_ctrl);
// Walks the counters of process proc_name: copies the next used counter into
// *item_str (0 when none is left) and, with buff, the text area (buff_len
// bytes; 0 when the area is empty). 1, 0 or -1 (not attached, or no process
// chosen yet and none named). All three pointers NULL rewind (0).
int ul_log_listitem(char* proc_name, Ul_log_item* item_str, char* buff, int buff_len);
// Chooses the process whose values ul_log_getval and ul_log_getbuf read
// (attaching the segment read-only). 0, or -1 when the process is absent.
// Ends the program with exit status 1 when the segment cannot be attached.
int ul_log_monproc(char* processname);
// The value of the chosen process's counter name into *pval. 0 or -1.
int ul_log_getval(char* name, int* pval);
// The chosen process's text area into buff (at most buflen - 1 bytes and a
// NUL). 0 or -1.
int ul_log_getbuf(char* buff, int buflen);

#endif  // DEP_LOG_H_
