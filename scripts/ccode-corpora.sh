# Sourced by scripts/bench-ccode-detect, -langdet and -query: the evaluation
# corpora to run on, made first when missing (from Debian packages, with
# apt-get download), all outside the repository.
#
# A leading "--corpus NAME" (else $PBDICT_CCODE_EVAL_CORPUS, else "manpages")
# picks them: "manpages" (the held-out half of the manual pages and message
# catalogs the data is made from; tools/gen_ccode_corpus.py and
# tools/gen_query_corpus.py), "docs" (translated documentation none of the
# data generators reads; tools/gen_ccode_docs_corpus.py and
# tools/gen_query_corpus.py --docs) or "both" (the accuracy tables of each in
# one run; timings on the first). The caches are $PBDICT_CCODE_PAGES_CACHE
# (default ~/.cache/pbdict/ccode-pages), $PBDICT_CCODE_DOCS_CACHE
# (~/.cache/pbdict/ccode-pages-docs) and $PBDICT_CCODE_QUERY_CACHE
# (~/.cache/pbdict/ccode-query).

ccode_corpus="${PBDICT_CCODE_EVAL_CORPUS:-manpages}"
if [ "${1:-}" = "--corpus" ]; then
  ccode_corpus="${2:-}"
  shift 2 || shift $#
fi
case "$ccode_corpus" in
  manpages) ccode_corpora=(manpages) ;;
  docs) ccode_corpora=(docs) ;;
  both) ccode_corpora=(manpages docs) ;;
  *) echo "unknown corpus '$ccode_corpus': manpages, docs or both" >&2; exit 2 ;;
esac
ccode_cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/pbdict"
ccode_pages_cache="${PBDICT_CCODE_PAGES_CACHE:-$ccode_cache_root/ccode-pages}"
ccode_docs_cache="${PBDICT_CCODE_DOCS_CACHE:-$ccode_cache_root/ccode-pages-docs}"
ccode_query_cache="${PBDICT_CCODE_QUERY_CACHE:-$ccode_cache_root/ccode-query}"

# The page folders of the chosen corpora, ':'-separated.
ccode_page_folders() {
  local list="" c
  for c in "${ccode_corpora[@]}"; do
    if [ "$c" = manpages ]; then
      if [ ! -f "$ccode_pages_cache/pages/manifest.tsv" ]; then
        python3 tools/gen_ccode_corpus.py --cache "$ccode_pages_cache" >&2 || return 1
      fi
      list="$list:$ccode_pages_cache/pages"
    else
      if [ ! -f "$ccode_docs_cache/pages/manifest.tsv" ]; then
        python3 tools/gen_ccode_docs_corpus.py --cache "$ccode_docs_cache" >&2 || return 1
      fi
      list="$list:$ccode_docs_cache/pages"
    fi
  done
  echo "${list#:}"
}

# The query files of the chosen corpora, ':'-separated.
ccode_query_files() {
  local list="" c
  for c in "${ccode_corpora[@]}"; do
    if [ "$c" = manpages ]; then
      if [ ! -f "$ccode_query_cache/queries.tsv" ]; then
        mkdir -p "$ccode_query_cache"
        python3 tools/gen_query_corpus.py --cache "$ccode_query_cache" \
          --out "$ccode_query_cache/queries.tsv" >&2 || return 1
      fi
      list="$list:$ccode_query_cache/queries.tsv"
    else
      if [ ! -f "$ccode_docs_cache/queries.tsv" ]; then
        mkdir -p "$ccode_docs_cache"
        python3 tools/gen_query_corpus.py --docs --cache "$ccode_docs_cache" \
          --out "$ccode_docs_cache/queries.tsv" >&2 || return 1
      fi
      list="$list:$ccode_docs_cache/queries.tsv"
    fi
  done
  echo "${list#:}"
}
