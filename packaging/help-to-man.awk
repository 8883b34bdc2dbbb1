# Converts one command's --help text from CLI11 into a subsection of a manual page: a heading, the
# usage, the summary, and a tagged paragraph per option or positional argument.
# Variables: command; built, the module path the build shows as a default; installed, the path the
# page shows instead.
#
# CLI11's layout: the summary, "Usage: PATH COMMAND ...", then headings ("Options:") over entries
# indented by two spaces, each with its description after a run of spaces or, when the entry is
# long, on the next line, indented further.

# A dash that starts a word is a minus sign (an option, a negative gain), which roff must be told;
# one inside a word is a hyphen.
function text(s) {
    # roff's own name for the sign, which renders in any locale.
    s = literal_replace(" " s, "±", "\\(+-")
    while (match(s, /[ (=\[]-/)) s = substr(s, 1, RSTART) "\\-" substr(s, RSTART + 2)
    return substr(s, 2)
}
# A line starting with a dot or a quote would be taken for a request by roff, one starting with a
# bracket or a slash for a section or a pattern by help2man.
function line(s) { return s ~ /^[.'[\/]/ ? "\\&" s : s }
function literal_replace(s, from, to,   at, out) {
    out = ""
    while (from != "" && (at = index(s, from)) > 0) {
        out = out substr(s, 1, at - 1) to
        s = substr(s, at + length(from))
    }
    return out s
}
function flush(   names, rest, n, parts, i, head) {
    if (item == "") return
    names = item
    rest = ""
    if (match(item, / /)) {
        names = substr(item, 1, RSTART - 1)
        rest = substr(item, RSTART)
    }
    if (names ~ /^-/) {
        n = split(names, parts, ",")
        head = ""
        for (i = 1; i <= n; i++) {
            gsub(/-/, "\\-", parts[i])
            head = head (i > 1 ? ", " : "") "\\fB" parts[i] "\\fR"
        }
    } else {
        head = "\\fI" names "\\fR"
    }
    print ".TP"
    print line(head text(rest))
    print line(text(description))
    item = ""
    description = ""
}

{ $0 = literal_replace($0, built, installed) }
NR == 1 { summary = $0; next }
/^Usage: / {
    sub(/^Usage: [^ ]*/, "sixband")
    print ".SS \"" command "\""
    rest = $0
    sub(/^sixband [^ ]+ ?/, "", rest)
    print "\\fBsixband " command "\\fR " text(rest)
    print ".br"
    print line(text(summary))
    next
}
/^[A-Z][A-Za-z ]*:$/ { flush(); next }
/^  [^ ]/ {
    flush()
    entry = substr($0, 3)
    if (match(entry, /   */)) {
        item = substr(entry, 1, RSTART - 1)
        description = substr(entry, RSTART + RLENGTH)
    } else {
        item = entry
        description = ""
    }
    next
}
/^   +[^ ]/ {
    sub(/^ +/, "")
    description = description (description == "" ? "" : " ") $0
    next
}
NF > 0 { flush(); print ".PP"; print line(text($0)) }
END { flush() }
