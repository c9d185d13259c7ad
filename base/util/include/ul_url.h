// Web addresses as plain byte strings: [scheme "http://"] site [":" port] path.
//
// Three size tiers, with buffer sizes that count the terminating NUL:
//
//   tier   whole URL  site                        port        path
//   base   < 256      < 48                        ":" + 5     at most 202 bytes
//   _ex    < 1024     128 (normal form) or given  given (7)   800 (normal form) or given
//   _ex2   < 2048     256 (normal form) or given  given (7)   1600 (normal form) or given
//
// Splitting, normal forms, path passes and checks, host and domain functions
// and NAT64 address conversions. Nothing here keeps state; every function is
// safe on any thread. Unless said otherwise a function returns 1 on success
// (or for a valid URL) and 0 on failure, and a NULL argument fails.
#ifndef UL_URL_H_
#define UL_URL_H_

#include <netinet/in.h>
#include <stddef.h>

// ---------------------------------------------------------------------------
// Splitting and normal form

// Removes every CR and LF byte (the rest closes up); returns the new length,
// 0 for NULL.
int ul_delete_inter(char* str);

// The byte value of the two hex digits at hex; 0 when either is not a hex
// digit, and also for "00".
char ul_to_char(const char* hex);

// Splits a URL (a leading "http://" in any case is skipped, CR/LF are
// removed) into site, port and path. The site is what stands before the
// first ':' (or the path); the port the text after that ':' ("80" gives an
// empty port); the path starts at the first '/', or is "/" followed by the
// query when a '?' comes first, or "/" alone. Any output may be NULL; the
// checks of a part run only when its buffer is given, except the site's.
// Base tier: the URL is shorter than 256 bytes, site holds 48 bytes (the site
// is 1..47 bytes long), port 6 (at most 5 bytes, atoi >= 1), path 203 (at most
// 202 bytes). Failures of the URL or site length log a DEBUG line.
int ul_parse_url(const char* input, char* site, char* port, char* path);
int ul_parse_url(char* input, char* site, char* port, char* path);
// Larger tiers (URL shorter than 1024 / 2048 bytes): each part must be shorter
// than its buffer's size. The site's size is checked only when site is given.
// The _ex2 form also accepts a bracketed IPv6 host ("[::1]:8080/x").
int ul_parse_url_ex(const char* input, char* site, size_t site_size, char* port,
                    size_t port_size, char* path, size_t max_path_size);
int ul_parse_url_ex2(const char* input, char* site, size_t site_size, char* port,
                     size_t port_size, char* path, size_t max_path_size);

// The site (site of 48 bytes, or site_size) or the path (path of 203 bytes, or
// path_size) of url; the buffer, or NULL when the URL does not split.
char* ul_get_site(const char* url, char* site);
char* ul_get_site_ex(const char* url, char* site, size_t site_size);
char* ul_get_site_ex2(const char* url, char* site, size_t site_size);
char* ul_get_path(const char* url, char* path);
char* ul_get_path_ex(const char* url, char* path, size_t path_size);
char* ul_get_path_ex2(const char* url, char* path, size_t path_size);

// The port number of url, 80 when it has none (or ":80"), also stored in
// *pport when pport is not NULL; 0 when the URL does not split.
int ul_get_port(const char* url, int* pport);
int ul_get_port_ex(const char* url, int* pport);
int ul_get_port_ex2(const char* url, int* pport);

// Copies url up to its first '?' or ';' into staticurl (256 bytes, or
// staticurl_size, cut to fit). The URL must be shorter than 256 (1024, 2048)
// bytes: a longer one stops the process ("strlen(url) < 256" and so on).
int ul_get_static_part(const char* url, char* staticurl);
int ul_get_static_part_ex(const char* url, char* staticurl, size_t staticurl_size);
int ul_get_static_part_ex2(const char* url, char* staticurl, size_t staticurl_size);

// 0 when str holds none of '&', '*', ';', '=', '?'; otherwise the first such
// byte.
int ul_isdyn(const char* str);

// Normalises a host name in place: host-label bytes (letters, digits, '-',
// '_') and escapes that decode to them, lowered; the first byte is a
// host-label byte, every label ends in a letter or digit, at least one '.',
// nothing after the last label. The _special form lets labels end in '-' or
// '_'. On failure the text is partly rewritten.
int ul_normalize_site(char* site);
int ul_normalize_site_special_for_ps_20101026(char* site);

// Normalises a port text in place: empty stays empty; else 1..5 digits of
// value 1..65535, 80 becomes empty, leading zeros go.
int ul_normalize_port(char* port);

// The normal form of url: normalised site, ':' and port when there is one,
// normalised path (escapes decoded where safe, blanks as "%20", back slashes
// and dot segments resolved, fragment dropped unless kept). buf holds 256
// bytes (base) or buf_size; a normal form that does not fit is a failure.
// The _special form keeps the fragment and lets host labels end in '-' or '_'.
int ul_normalize_url(const char* url, char* buf);
int ul_normalize_url_save_fragment(const char* url, char* buf);
int ul_normalize_url_ex(const char* url, char* buf, size_t buf_size);
int ul_normalize_url_ex_save_fragment(const char* url, char* buf, size_t buf_size);
int ul_normalize_url_ex2(const char* url, char* buf, size_t buf_size);
int ul_normalize_url_ex2_save_fragment(const char* url, char* buf, size_t buf_size);
int ul_normalize_url_ex2_special_for_ps_20110221(const char* url, char* buf, size_t buf_size);

// ---------------------------------------------------------------------------
// Paths and whole-URL checks. The in-place forms may grow the text when they
// escape blanks: the caller's buffer must hold the tier's size (256, 1024,
// 2048 for URLs; 256, 800, 1600 for paths, or the given limit).

// Length limit of the normal-form test.
enum UrlType {
  URL_TYPE_DEFAULT = 0,  // at most 255 bytes
  URL_TYPE_EX = 1,       // at most 1023
  URL_TYPE_EX2 = 2,      // less than 2048
};

// Single-path pass in place: escapes of bytes that are safe in their part are
// decoded (others keep their digits as received), the part classes are
// checked ('/' segments, ';' parameters, '?' query; the pass must end at NUL
// or '#'), the fragment is kept or dropped, blanks become "%20".
// ul_single_path removes CR/LF first; result at most 256 bytes, 202 with
// escaped blanks.
int ul_single_path(char* path);
int ul_single_path_nointer(char* path, int save_fragment);
// Remove CR/LF first; escaped blanks: shorter than 800 (1600) bytes.
int ul_single_path_ex(char* path);
int ul_single_path_ex2(char* path);
// The result must not be longer than len; escaped blanks: shorter than 800
// (1600) bytes.
int ul_single_path_ex_nointer(char* path, size_t len, int save_fragment);
int ul_single_path_ex2_nointer(char* path, size_t len, int save_fragment);
// Keeps the fragment and never writes beyond len bytes: the result, blanks
// escaped, is shorter than len (and than 1600).
int ul_single_path_ex2_nointer_special_for_ps_20110221(char* path, size_t len);

// Every blank becomes "%20"; the result must be shorter than max_path_len
// (at most 1024 for ul_space_escape_path, 2048 for the _ex2 form), else 0 and
// the path is unchanged.
int ul_space_escape_path(char* path, size_t max_path_len);
int ul_space_escape_path_ex2(char* path, size_t max_path_len);
// The same over a whole URL (shorter than max_url_len), then: the host (after
// "http://" in lower case) must not start with '/' or ':', must be at most
// max_site_len bytes when a ':' or '/' follows it and shorter than that when
// it ends the URL; the path (from the first '/') shorter than max_path_len.
// On failure the URL is unchanged.
int ul_space_escape(char* url, size_t max_url_len, size_t max_site_len, size_t max_path_len);
int ul_space_escape_ex2(char* url, size_t max_url_len, size_t max_site_len, size_t max_path_len);

// Back slashes become '/' and dot segments and empty segments are resolved,
// up to the first '?' (else the first ';'); the rest is kept. The path must
// begin with '/' (else the process stops); the _ex and _ex2 forms also need it
// shorter than 1024 / 2048 bytes.
void ul_normalize_path(char* path);
void ul_normalize_path_ex(char* path);
void ul_normalize_path_ex2(char* path);
// As ul_normalize_path, keeping the "//" of an embedded "http://" (any case);
// "../" never climbs above it.
void ul_normalize_path_vhplink(char* path);
// '\\' becomes '/' before the first '?' (or the first ';' when there is no '?').
void replace_slash(char* path);

// Checks and normalises a whole URL in place: "http://" kept as written, host
// lowered and unescaped (the _ex2 form keeps a bracketed IPv6 host), ":/"
// loses the ':', ":80" goes, another port of 1..5 digits must be followed by
// '/', the path is checked by class without decoding ('#' is invalid), blanks
// become "%20". The result must be shorter than 256 (1024, 2048) bytes.
int ul_check_url(char* url);
int ul_check_url_ex(char* url);
int ul_check_url_ex2(char* url);
int check_URL(char* url);
// Checks a copy of url (which stays unchanged) that may also have a query or
// fragment right after the host or port and '#' sections after the query.
// A URL too long for the tier is invalid.
int ul_check_url_vhplink(const char* url);
int ul_check_url_ex_vhplink(const char* url);
int ul_check_url_ex2_vhplink(const char* url);
// The check behind the three above, in place, with the limits of
// ul_space_escape (a limit over 2048 counts as 2048).
int ul_check_url_vhplink_modify_url(char* url, size_t max_url_len, size_t max_site_len,
                                    size_t max_path_len);

// Base-tier split that also separates the fragment: a '/' is put before a
// '?' or '#' that comes before any '/'; with both path and frag given, the
// text from the first '#' of the path moves to frag (203 bytes; empty
// without '#').
int ul_parse_url_vhplink(const char* input, char* site, char* port, char* path, char* frag);

// 1 when url_content is already a normal form: no scheme, lower-case host
// with a '.' and labels ending in a letter or digit, a port of 1..65535 other
// than 80 with at most 5 digits, a path by class ('#' sections only with
// save_fragment), within the type's length. Escapes and blanks are not
// examined.
int ul_isnormalized_url_with_fragment_flag(const char* url_content, int save_fragment, UrlType type);
int ul_isnormalized_url(const char* url);
int ul_isnormalized_url_save_fragment(const char* url);
int ul_isnormalized_url_ex(const char* url);
int ul_isnormalized_url_ex_save_fragment(const char* url);
int ul_isnormalized_url_ex2(const char* url);
int ul_isnormalized_url_ex2_save_fragment(const char* url);

// ---------------------------------------------------------------------------
// Hosts, domains and addresses

// 1 when host_name is labels of letters, digits, '-' and '_' joined by '.',
// each ending in a letter or digit, and nothing else.
int check_hostname(const char* host_name);
// inet_aton's result (non-zero for a dotted IPv4 address; "123" counts).
int ul_is_dotip(const char* sitename);
// inet_pton's result for AF_INET6 (1 valid).
int ul_is_ipv6_format(const char* addr);
// For a text that begins with '[' and has its ']' within the first 42 bytes
// around a valid IPv6 address: the length with both brackets; else 0.
int ul_check_url_ipv6(const char* pin);
// 1 when str begins with one of the skipped labels ("www.", "com.", "gov.",
// ... 47 of them, each with its '.'; case counts), else 0.
int ul_is_ignore(const char* str);

// The trunk of a host (its registrable label): the rightmost label left of the
// top label that is not a skipped label, copied into trunk (cut to size - 1
// bytes and terminated). A dotted IPv4 or bracketed IPv6 host is copied whole.
// Returns 1; -3 when the host has no '.'; -2 when every candidate label is
// skipped; -1 for NULL arguments or size 0.
int ul_fetch_trunk(const char* site, char* trunk, size_t size);
// The main domain: a pointer into site at the trunk label (so the trunk and
// all labels after it); domain receives the trunk label. For an address, a
// host without '.' or one whose labels are all skipped, domain receives the
// whole host and the result is site. NULL for NULL arguments or size 0.
const char* ul_fetch_maindomain(const char* site, char* domain, size_t size);

// NAT64 under the prefix "64:ff9b::".
// Stores the last four bytes of ipv6_addr as the IPv4 address (always); 1 when
// the address is under the prefix, else 0.
int ipv6_to_ipv4(const struct in6_addr* ipv6_addr, struct in_addr* ipv4_addr);
// As ipv6_to_ipv4; on 1 the IPv4 address is stored as a host-order integer.
int ipv6_to_uint32(const struct in6_addr* ipv6_addr, unsigned int* ipv4_addr_n);
// The IPv6 address "64:ff9b::a.b.c.d" of a host-order IPv4 address.
int uint32_to_ipv6(unsigned int ipv4_addr_n, struct in6_addr* ipv6_addr);
// "64:ff9b::" and the dotted text (its first 15 bytes), as IPv6 text.
int ipv4_to_ipv6_str(const char* ipv4_str, char* ipv6_str, size_t ipv6_str_len);
// The dotted IPv4 text of an IPv6 text under the prefix.
int ipv6_to_ipv4_str(const char* ipv6_str, char* ipv4_str, size_t ipv4_str_len);

#endif  // UL_URL_H_
