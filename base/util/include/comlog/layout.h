// Layout: renders an Event into a text line by a pattern.
//
//   %A  local time "MM-DD hh:mm:ss:mmm"     %D  local time "MM-DD hh:mm:ss"
//   %H  host name                           %L  level name
//   %N  context pairs by the NDC pattern    %P  process name
//   %R  message                             %T  kernel thread id
//   %U  milliseconds of the time            %Y  strftime of the time format
//
// Any other character after '%' (a second '%' too) emits nothing. The NDC
// pattern expands %K (key), %V (value) and %% ('%') once per pair.
#ifndef COMLOG_LAYOUT_H_
#define COMLOG_LAYOUT_H_

namespace comspace {

class Event;

// strftime format of %Y (127 characters at most); empty at start.
extern char comlog_time_format[128];

class Layout {
 public:
  Layout();
  // Renders the event into its render buffer (size S): an optional
  // "version type " prefix, then the pattern; a piece that does not fit is
  // cut and ends the walk; the line always ends with "\n" and a NUL, so it
  // holds at most S - 1 bytes. 0, or -1 when S < 2.
  virtual int format(Event* evt);
  // Expands the NDC pattern for every pair into buf (size bytes, NUL
  // included). The length; size - 1 when a key, value or '%' was cut; 0 when
  // the space ran out before an ordinary character.
  virtual int fmtpattern(Event* evt, char* buf, int size);
  virtual ~Layout();
  Layout(const Layout&) = delete;
  Layout& operator=(const Layout&) = delete;

  // Each copies at most 1023 characters; 0.
  int setPattern(const char* pattern, const char* ndc_pattern);
  int setPattern(const char* pattern);
  int setNdcPattern(const char* ndc_pattern);
  // Sets comlog_time_format (at most 127 characters); 0.
  static int setTimeFormat(const char* format);

  char _pattern[1024];
  char _ndc_pattern[1024];
};

// The default layout ("%L: %D:  %P * %T %R"), made on first use.
Layout* comlog_get_def_layout();
void comlog_del_def_layout();

}  // namespace comspace

#endif  // COMLOG_LAYOUT_H_
