// The options of velmora-batch: one row each.
#include "cli/BatchOptionTable.h"

namespace velmora {

namespace {

using enum BatchOptionGroup;

// To add an option: a field in BatchOptions and a row here (a reader of its own only when it
// checks its value). The unit tests hold the manual and the README to the table; run them with
// VELMORA_UPDATE_DOCS=1 to write the new row's entries into both.
constexpr BatchOption kBatchOptions[] = {
    {'i', "input", "PATH", Run, ReadText<&BatchOptions::input>,
     ApplyValue<&BatchOptions::input, &GeneratorSettings::Input>,
     "use PATH as the input file of records",
     R"(Use \fIPATH\fR as the input file of records instead of the settings file's.)",
     "the input file of records instead of the settings file's"},
    {'t', "template", "PATH", Run, ReadText<&BatchOptions::templatePath>,
     ApplyValue<&BatchOptions::templatePath, &GeneratorSettings::Template>,
     "use PATH as the template file",
     R"(Use \fIPATH\fR as the template file instead of the settings file's.)",
     "the template file instead of the settings file's"},
    {'o', "output", "DIR", Run, ReadText<&BatchOptions::output>,
     ApplyValue<&BatchOptions::output, &GeneratorSettings::Output>,
     "write the files into the folder DIR",
     R"(Write the files into the folder \fIDIR\fR instead of the settings file's. The folder )"
     R"(must exist.)",
     "the output folder instead of the settings file's"},
    {0, "preview", "N", Run, ReadPreview, nullptr,
     "write the filled template of record N to standard output and write no file",
     R"(Merge record \fIN\fR (counted from 1, as the run counts) and write its filled )"
     R"(template to standard output, byte for byte. No file is opened for writing and no run )"
     R"(log is printed. A number beyond the last record is an error (exit status 2). For )"
     R"(writing and checking a template.)",
     "write the filled template of record N to standard output; no file, no run log"},
    {0, "dry-run", nullptr, Run, ReadFlag<&BatchOptions::dryRun>, nullptr,
     "the whole run without creating, changing or removing a file; the run log says \"-> dry "
     "run\" where a file would be written",
     R"(Do the whole run without creating, changing or removing any file. Standard output )"
     R"(receives the run log as the run would write it, except that the line of each file )"
     R"(that would be written ends in "\-> dry run" instead of "\-> ok". Refused names, files )"
     R"(that cannot be replaced and a missing output folder are reported as the real run )"
     R"(reports them, with the same exit status. A file that another program holds open is )"
     R"(not recognised in advance.)",
     "the whole run without creating, changing or removing a file: the log says `-> dry "
     "run`"},
    {0, "changed-only", nullptr, Run, ReadFlag<&BatchOptions::changedOnly>, nullptr,
     "leave a file that already holds the record's bytes untouched; the run log says \"-> "
     "unchanged\"",
     R"(Leave an output file that already holds exactly the bytes that its record gives )"
     R"(closed: its contents, modification time and identity stay, and its line in the run )"
     R"(log is "\fIpath\fR \-> unchanged". Files are compared piece by piece, never held )"
     R"(whole. Everything else is as in a normal run: input and template are never written )"
     R"(over, and read-only files and refused names fail as always. Sync tools, make and )"
     R"(backup programs then see only the pages that really changed. With \fB\-\-dry\-run\fR )"
     R"(the log shows which files a changed-only run would write.)",
     "leave a file that already holds the record's bytes untouched (contents, time, "
     "identity): `-> unchanged`"},
    {0, "strict", nullptr, Run, ReadFlag<&BatchOptions::strict>, nullptr,
     "end with exit status 4 when records wrote the same file, a placeholder was never "
     "filled or a file was named by the lead and tail alone, or at text that is no text of "
     "the code page; with --header, write no file and end with exit status 4 when the "
     "template names a column that the header lacks",
     R"(End with exit status 4 a run in which two or more records wrote the same file, a )"
     R"(placeholder of the template was never filled, or a record's file was named by the )"
     R"(lead and tail alone (each after the run), and end the run with exit status 4 at text )"
     R"(that is no text of the code page: a template before any file is written, an input )"
     R"(before the first malformed record.)",
     "exit status 4 when two records wrote the same file, a placeholder was never filled or "
     "a file was named by the lead and tail alone (after the run), or the template or input "
     "is no text of the code page (the run ends there)"},
    {0, "summary", nullptr, Run, ReadFlag<&BatchOptions::summary>, nullptr,
     "close with a summary line also when standard error is no terminal",
     R"(Close with the summary line on standard error also when standard error is no )"
     R"(terminal.)",
     "the closing summary line also when standard error is no terminal"},
    {0, "init", "FILE", Run, ReadInit, nullptr,
     "write a new settings file with the defaults, changed by the setting options given, "
     "and exit",
     R"(Write a new settings file \fIFILE\fR holding the defaults, byte for byte the file )"
     R"(that the window writes when it first closes, and exit. An existing \fIFILE\fR is )"
     R"(never replaced (exit status 2). With setting options (below), the file holds their )"
     R"(values instead of the defaults.)",
     "write a new settings file with the defaults (never over an existing file)"},
    {0, "jobs", "N", Run, ReadJobs, nullptr,
     "write the files on N threads, 1 to 64 (default: 4 per processor, at least 4 and at "
     "most 32)",
     R"(Write the files on \fIN\fR threads, 1 to 64. The default is four per processor, at )"
     R"(least four and at most 32: the threads mostly wait for a new file's close (on Windows )"
     R"(a virus scanner reads the file before the close returns), not for the processor. See )"
     R"(\fBTHREADS\fR.)",
     "write the files on N threads, 1 to 64 (default: 4 per processor, at least 4, at most "
     "32)"},
    {0, "single-thread", nullptr, Run, ReadFlag<&BatchOptions::singleThread>, nullptr,
     "merge and write on one thread",
     R"(Merge and write on one thread. The files and the log are the same either way.)",
     "merge and write on one thread"},
    {'q', "quiet", nullptr, Run, ReadFlag<&BatchOptions::quiet>, nullptr,
     "show no progress",
     R"(Show no progress, and no summary unless \fB\-\-summary\fR asks for it. Failures and )"
     R"(warnings are still written to standard error.)",
     "no progress and no summary on standard error (failures and warnings still show)"},
    {'h', "help", nullptr, Run, ReadFlag<&BatchOptions::help>, nullptr,
     "show this help and exit",
     R"(Show the options and exit.)",
     "help, version"},
    {0, "version", nullptr, Run, ReadFlag<&BatchOptions::version>, nullptr,
     "show the version and exit",
     R"(Show the version and exit.)",
     ""},
    {0, "separator", "csv|tsv", Setting, ReadChoice<&BatchOptions::separator>,
     ApplyValue<&BatchOptions::separator, &GeneratorSettings::FieldSeparator>,
     "fields are separated by commas or by TABs",
     R"(Fields are separated by commas or by TABs.)",
     "the settings of those names"},
    {0, "field-break", "lf|vt", Setting, ReadChoice<&BatchOptions::fieldBreak>,
     ApplyValue<&BatchOptions::fieldBreak, &GeneratorSettings::FieldBreak>,
     "the line break inside a field is LF or VT",
     R"(The line break inside a field is LF (0x0A) or VT (0x0B).)",
     ""},
    {0, "format", "html|text", Setting, ReadChoice<&BatchOptions::format>,
     ApplyValue<&BatchOptions::format, &GeneratorSettings::ReplaceFormat>,
     "escape values for HTML (line breaks become <br>) or put them in as they are (line "
     "breaks become CR LF)",
     R"(HTML escapes "&", double quotes, "<", ">" and apostrophes (as "&#39;"), and turns the )"
     R"(in-field line break into "<br>"; text puts values in as they are and turns the line )"
     R"(break into CR LF.)",
     ""},
    {0, "lead", "TEXT", Setting, ReadText<&BatchOptions::lead>,
     ApplyValue<&BatchOptions::lead, &GeneratorSettings::ReplaceLead>,
     "the text in front of a field number in a placeholder ([$_)",
     R"(The texts before and after the field number (or column name) of a placeholder: "[$_" )"
     R"(and "_$]" by default.)",
     "the placeholder's texts and the text of an empty field"},
    {0, "tail", "TEXT", Setting, ReadText<&BatchOptions::tail>,
     ApplyValue<&BatchOptions::tail, &GeneratorSettings::ReplaceTail>,
     "the text after it (_$])",
     "",
     ""},
    {0, "default", "TEXT", Setting, ReadText<&BatchOptions::defaultText>,
     ApplyValue<&BatchOptions::defaultText, &GeneratorSettings::ReplaceDefault>,
     "the text that stands in for an empty field",
     R"(The text that stands in for an empty field, byte for byte (empty: none).)",
     ""},
    {0, "name-field", "N|NAME", Setting, ReadNameField, ApplyNameField,
     "name each file by field N (from 0) or, with --header, by the column headed NAME",
     R"(Name each file by field \fIN\fR (0 to 255, counted from 0 as placeholders count) or, )"
     R"(with \fB\-\-header\fR, by the field of the column headed \fINAME\fR. A \fINAME\fR )"
     R"(that the header lacks ends the run before any file is written (exit status 2).)",
     "name files by field N or the column headed NAME (with `--header`), or by record "
     "number with at least DIGITS digits"},
    {0, "name-number", "DIGITS", Setting, ReadNameNumber, ApplyNameNumber,
     "name each file by its record number, DIGITS digits at least",
     R"(Name each file by its record number, zero-padded to \fIDIGITS\fR digits at least (0 )"
     R"(to 255).)",
     ""},
    {0, "name-lead", "TEXT", Setting, ReadText<&BatchOptions::nameLead>,
     ApplyValue<&BatchOptions::nameLead, &GeneratorSettings::RuleLead>,
     "the text in front of the number or field in a file name",
     R"(The texts before and after the number or field in a file name; the tail holds the )"
     R"(extension (".html" by default). A name that would lead outside the output folder is )"
     R"(refused like a file that cannot be opened.)",
     "the texts around the number or field in a file name"},
    {0, "name-tail", "TEXT", Setting, ReadText<&BatchOptions::nameTail>,
     ApplyValue<&BatchOptions::nameTail, &GeneratorSettings::RuleTail>,
     "the text after it, extension included (.html)",
     "",
     ""},
    {0, "code-page", "N", Recipe, ReadCodePage, nullptr,
     "treat texts as code page N (932, 936, 949, 950, 1361, 65001, ...) or by name (utf-8, "
     "shift_jis, sjis, cp932, euc-jp, gbk, big5, euc-kr, windows-1252), in any letter case",
     R"(Treat texts and data as code page \fIN\fR (1 to 65535: 932, 936, 949, 950, 1361, )"
     R"(65001, ...), or the code page of a name in any letter case: utf\-8, shift_jis, sjis, )"
     R"(cp932, euc\-jp, gbk, big5, euc\-kr, windows\-1252. In code page 65001 (UTF-8) a )"
     R"(byte-order mark at the very start of the input or the template is skipped: it lands )"
     R"(in no page, field or file name.)",
     "the code page of texts and data (default: the system's; on Linux and macOS from the "
     "locale); a number, or a name in any letter case: `utf-8`, `shift_jis`/`sjis`/`cp932`, "
     "`euc-jp`, `gbk`, `big5`, `euc-kr`, `windows-1252`"},
    {0, "prune", nullptr, Recipe, ReadFlag<&BatchOptions::prune>, nullptr,
     "after a run without failures, remove the files that the last --prune run wrote and this "
     "one did not, when they are unchanged since; the run log says \"-> removed\"",
     R"(Keep the list \fB.velmora\-files\fR in the output folder: the name, size and hash of )"
     R"(every file that the run wrote or left unchanged. A run that completed without failures )"
     R"(removes each file that the list of the last \fB\-\-prune\fR run names and this run did )"
     R"(not write, when its size and hash are still those listed, and logs it as )"
     R"("\fIpath\fR \-> removed"; a file changed since is kept and named on standard error. )"
     R"(A folder that a run made goes when it is empty. Nothing else is ever removed: no file )"
     R"(that a run did not write, nothing through a link, nothing outside the output folder. A )"
     R"(run with failures, or a list that is damaged or no such list, removes nothing and says )"
     R"(so on standard error. With \fB\-\-dry\-run\fR the log names what would be removed )"
     R"(("\-> would be removed") and nothing is removed.)",
     "remove the files that the last `--prune` run wrote and this one did not, when unchanged "
     "since (list in `.velmora-files`): `-> removed`"},
    {0, "header", nullptr, Recipe, ReadFlag<&BatchOptions::header>, nullptr,
     "the first record names the columns: it writes no file, and [$_name_$] stands for the "
     "field of the column headed name",
     R"(The first record names the columns. It writes no file and has no line in the run log; )"
     R"(records are counted from 1 after it, and an input of only the header is a run of 0 )"
     R"(records. A placeholder may give a column's name instead of its number: )"
     R"(\fB[$_price_$]\fR is the field of the column headed "price" (the header's field as )"
     R"(the splitter gives it, quotes removed, compared byte for byte and case-sensitive), )"
     R"(and gets the value exactly as \fB[$_3_$]\fR would. When field \fIi\fR's turn comes, )"
     R"(its numbered placeholder is replaced first, then its named one. A header field that )"
     R"(is empty, made only of digits, or equal to an earlier one names nothing; standard )"
     R"(error says so once per such column. A text of the template shaped like a named )"
     R"(placeholder whose name is no column stays as it stands, and standard error names it )"
     R"(once:)" "\n.PP\n.nf\n"
     R"(velmora-batch: the template names a column that the header lacks: [$_prise_$])"
     "\n.fi\n.IP\n"
     R"(With \fB\-\-strict\fR such a template ends the run with exit status 4 before any file )"
     R"(is written. In code page 65001 a byte-order mark before the header is skipped.)",
     "the first record names the columns: no file, no log line; `[$_name_$]` is the column "
     "headed \"name\""},
    {0, "line-ends", "auto|cr|any", Recipe, ReadLineEnds, nullptr,
     "records end at CR LF, LF or CR outside double quotes when the input holds no CR at all, "
     "else at CR or CR LF (auto, the default); always at CR or CR LF (cr); always at CR LF, LF "
     "or CR outside double quotes (any)",
     R"(\fBauto\fR, the default, reads an input that holds no CR byte at all as \fBany\fR does )"
     R"(and any other input as \fBcr\fR does; standard error says so once when it read LF line )"
     R"(ends. \fBcr\fR is the window's rule: a record ends at CR or CR LF, and an LF alone is a )"
     R"(line break inside a field. \fBany\fR ends a record at CR LF, LF or CR, except inside a )"
     R"(double-quoted stretch of a field (quotes open and close as the field splitter takes )"
     R"(them; a doubled quote inside stays one quote); a line break there becomes the in-field )"
     R"(break and so "<br>" in HTML, CR LF in text. A blank line is no record, and a quote that )"
     R"(never closes is named on standard error with the line where it opened: its record )"
     R"(runs to the end of the file. Under \fBcr\fR, an input that holds LF but no CR at all )"
     R"(was one record: standard error says so after the run and names \fB\-\-line\-ends )"
     R"(any\fR. )",
     "`auto` (default): `any` for an input without CR, else `cr`; `cr`: a record ends at CR or "
     "CR LF; `any`: at CR LF, LF or CR outside double quotes"},
    {0, "where", "COND", Recipe, ReadWhere, nullptr,
     "give a page only to records where COND holds: NAME=VALUE or NAME!=VALUE, NAME a field "
     "number or, with --header, a column name; repeat it and every COND must hold",
     R"(Give a page only to the records for which \fICOND\fR holds: \fINAME\fB=\fIVALUE\fR )"
     R"(or \fINAME\fB!=\fIVALUE\fR, where \fINAME\fR is a field number or, with )"
     R"(\fB\-\-header\fR, a column's name. The field's text, quotes removed and before any )"
     R"(escaping, is compared with \fIVALUE\fR byte for byte; a missing field is empty. Given )"
     R"(more than once, every \fICOND\fR must hold. A record that fails gets no file, no line )"
     R"(in the run log and no row in a list, but keeps its number; the summary counts it as )"
     R"(skipped. A \fICOND\fR without "=", or naming a column that the header lacks, ends the )"
     R"(run before any file is written (exit status 2).)",
     "give a page only to records where NAME=VALUE (or NAME!=VALUE) holds; NAME a field "
     "number or a column name; repeatable, all must hold", true},
    {0, "name-template", "TEXT", Recipe, ReadText<&BatchOptions::nameTemplate>, nullptr,
     "name each page by TEXT, its placeholders filled from the record as plain text and "
     "[$_#record_$] as the record number; \"/\" leads into folders",
     R"(Name each page by \fITEXT\fR instead of the naming rule: its placeholders are filled )"
     R"(from the record as in a plain-text run (no HTML escaping), and \fB[$_#record_$]\fR )"
     R"(becomes the record number (placeholders are written with the run's lead and tail). )"
     R"(A "/" in the name leads into a folder of the output folder (see )"
     R"(\fB\-\-make\-folders\fR). Every name is checked as the naming rule's are: an empty )"
     R"(name, one that would leave the output folder, a device name or a link fails like a )"
     R"(file that cannot be opened, and names that two records share are reported. Names )"
     R"(beginning with "#" are the program's own: a column whose header begins with "#" )"
     R"(names nothing, and standard error says so.)",
     "name each page by TEXT filled from the record as plain text, `[$_#record_$]` the record "
     "number (instead of the naming rule)"},
    {0, "make-folders", nullptr, Recipe, ReadFlag<&BatchOptions::makeFolders>, nullptr,
     "make the output folder (when its parent exists) and the missing folders of the names "
     "inside it",
     R"(Make the output folder when it is missing and its parent exists, and the missing )"
     R"(folders along the name of each page or list inside it, one inside the other and never )"
     R"(through a link. A folder that cannot be made (a file or a link in its place, no )"
     R"(permission) fails the file like one that cannot be opened, with the reason. A dry run )"
     R"(makes nothing and reports the files as it would write them.)",
     "make the output folder (when its parent exists) and the missing folders of the names "
     "inside it, never through a link"},
    {0, "list", "TEMPLATE", Recipe, ReadText<&BatchOptions::list>, nullptr,
     "after the pages, write list files from TEMPLATE: the text between [$_#rows_$] and "
     "[$_#end_$] repeats once per record; [$_#file_$] is the page's name, [$_#count_$] the "
     "rows",
     R"(After the pages, write list files from the template \fITEMPLATE\fR. The text between )"
     R"(\fB[$_#rows_$]\fR and \fB[$_#end_$]\fR repeats once per record of the list, in record )"
     R"(order, filled as the record's page is, with \fB[$_#file_$]\fR the page's name in the )"
     R"(output folder (folders joined by "/", escaped for HTML) and \fB[$_#record_$]\fR its )"
     R"(record number. Outside that block \fB[$_#count_$]\fR is the number of rows, and the )"
     R"(other placeholders are filled from the list's first record. A list holds the records )"
     R"(that passed \fB\-\-where\fR and whose page was written or left unchanged (in a dry run: )"
     R"(would be). List files are written, checked and logged as pages are, and count in the )"
     R"(summary; none is written after a run stopped early. A template without its block of )"
     R"(rows, or with two, ends the run before any file is written (exit status 2).)",
     "after the pages, write list files from TEMPLATE: `[$_#rows_$]`...`[$_#end_$]` repeats "
     "per record, with `[$_#file_$]`, `[$_#record_$]`; `[$_#count_$]` outside it"},
    {0, "list-output", "TEXT", Recipe, ReadText<&BatchOptions::listOutput>, nullptr,
     "the name of each record's list file, filled like --name-template (index.html): records "
     "with the same name share one list",
     R"(The name of each record's list file (default \fBindex.html\fR), filled from the )"
     R"(record as \fB\-\-name\-template\fR is: records whose names come out the same share one )"
     R"(list, so "[$_type_$]/index.html" writes one list per type, in the order of their first )"
     R"(records.)",
     "the name of each record's list (default `index.html`), filled like `--name-template`: "
     "one list per distinct name"},
};

}  // namespace

std::span<const BatchOption> BatchOptionTable() { return kBatchOptions; }

}  // namespace velmora
