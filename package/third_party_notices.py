#!/usr/bin/python3
"""Licence notices for the toolchain parts that -static links into our binaries.

  assemble  writes THIRD-PARTY-NOTICES.txt from the toolchain's copyright
            files, one section for each licence the build names;
  check     reads link maps and fails when a linked toolchain part comes
            under a licence the notices do not give, or cannot be told apart.

Beside MinGW-w64's and GCC's, further DEP-5 copyright files (--copyright)
cover what the test programs link: Debian's zlib for MinGW, and GoogleTest,
which the build compiles from Debian's sources (--built-from).

Both read the copyright files through the same code, so that the notices and
the check can never disagree on what a file says.
"""
import argparse
import collections
import os
import re
import subprocess
import sys
import textwrap

# GCC's copyright file is prose: this is our short name for the terms it
# gives its runtime libraries, in the style of the DEP-5 names.
GCC_LICENSE = 'GPL-3+ with GCC-exception-3.1'
GCC_RUNTIME_INTRO = 'The following runtime libraries are licensed'
GCC_EXCEPTION_HEADING = 'GCC RUNTIME LIBRARY EXCEPTION'
# GCC builds its archives without debug information, so only the file's name
# says which runtime library of GCC's copyright file it is.
GCC_RUNTIME_OF_FILE = {
    'crtbegin.o': 'libgcc', 'crtend.o': 'libgcc', 'crtfastmath.o': 'libgcc',
    'libgcc.a': 'libgcc', 'libgcc_eh.a': 'libgcc',
    'libstdc++.a': 'libstdc++-v3', 'libsupc++.a': 'libstdc++-v3', 'libstdc++fs.a': 'libstdc++-v3',
    'libatomic.a': 'libatomic', 'libgomp.a': 'libgomp', 'libssp.a': 'libssp', 'libssp_nonshared.a': 'libssp',
}
RULE = '-' * 72


class NoticeError(Exception):
    pass


def read_text(path):
    try:
        with open(path, encoding='utf-8', errors='replace') as f:
            return f.read()
    except OSError as e:
        raise NoticeError(f'cannot read {path}: {e.strerror}') from None


class Dep5:
    """A machine-readable Debian copyright file: which licence each source file has."""

    def __init__(self, path):
        self.path = path
        self.stanzas = []       # (patterns, copyright lines, licence expression, licence text)
        self.standalone = {}    # licence name -> text, for stanzas that cite it without one
        self.upstream = path
        for fields in self._paragraphs(read_text(path)):
            expression, text = self._license(fields.get('License', ['']))
            if 'Files' in fields:
                patterns = ' '.join(fields['Files']).split()
                holders = [line.strip() for line in fields.get('Copyright', []) if line.strip()]
                self.stanzas.append((patterns, holders, expression, text))
            elif 'Upstream-Name' in fields:
                self.upstream = fields['Upstream-Name'][0].strip()
            elif expression:
                self.standalone[expression] = text
        if not self.stanzas:
            raise NoticeError(f'{path} has no "Files:" stanza: not a DEP-5 copyright file')

    @staticmethod
    def _paragraphs(text):
        fields, name = {}, None
        for line in text.splitlines() + ['']:
            if not line.strip():
                if fields:
                    yield fields
                fields, name = {}, None
            elif line[0] in ' \t' and name:
                fields[name].append(line)
            else:
                name, _, value = line.partition(':')
                fields[name] = [value]

    @staticmethod
    def _license(lines):
        body = [line[1:].rstrip() for line in lines[1:]]
        return lines[0].strip(), ['' if line.strip() == '.' else line for line in body]

    @staticmethod
    def _matches(pattern, name):
        # DEP-5 patterns know only * (anything, slashes too) and ?.
        regex = re.escape(pattern).replace(r'\*', '.*').replace(r'\?', '.')
        return re.fullmatch(regex, name) is not None

    def license_of(self, source):
        found = None
        for patterns, _, expression, _ in self.stanzas:  # the last match wins
            if any(self._matches(p, source) for p in patterns):
                found = expression
        return found

    def general_license(self):
        for patterns, _, expression, _ in self.stanzas:
            if patterns == ['*']:
                return expression
        raise NoticeError(f'{self.path} has no general "Files: *" stanza')

    def holders_of(self, name):
        holders = []
        for _, lines, expression, _ in self.stanzas:
            if name in license_names(expression):
                holders += [h for h in lines if h not in holders and h != 'public-domain']
        return holders

    def text_of(self, name):
        for _, _, expression, text in self.stanzas:
            if expression == name and text:
                return text
        if self.standalone.get(name):
            return self.standalone[name]
        raise NoticeError(f'{self.path} has no text for the licence "{name}"')


class GccCopyright:
    """GCC's copyright file: which runtime libraries come with the Runtime Library Exception, and its text."""

    def __init__(self, path):
        self.path = path
        self.paragraphs = [p.strip('\n') for p in re.split(r'\n[ \t]*\n', read_text(path))]
        self.copyright = self._paragraph('GCC is Copyright')
        # The statement's list of libraries is the paragraph after it.
        self.runtime_statement = self._paragraph(GCC_RUNTIME_INTRO, count=2)
        self.runtime_libraries = re.findall(r'^ - (\S+)', '\n'.join(self.runtime_statement), re.M)
        if not self.runtime_libraries:
            raise NoticeError(f'{path} lists no runtime library after "{GCC_RUNTIME_INTRO}"')
        self.exception = self._exception()

    def _paragraph(self, start, count=1):
        for i, paragraph in enumerate(self.paragraphs):
            if paragraph.startswith(start):
                return '\n\n'.join(self.paragraphs[i:i + count]).rstrip().splitlines()
        raise NoticeError(f'{self.path} has no paragraph starting "{start}"')

    def _exception(self):
        # The exception runs from its heading to the first two blank lines in a row.
        text = read_text(self.path)
        start = text.find(f'\n{GCC_EXCEPTION_HEADING}\n')
        end = text.find('\n\n\n', start + 1)
        if start < 0 or end < 0:
            raise NoticeError(f'{self.path} has no "{GCC_EXCEPTION_HEADING}" text')
        return text[start + 1:end].splitlines()


def license_names(expression):
    return re.split(r'\s+(?:and|or)\s+', expression)


def covered(expression, given):
    """Whether the notices give a licence expression: each "and" part, any one "or" choice."""
    return all(any(choice in given for choice in part.split(' or ')) for part in expression.split(' and '))


def package_of(path):
    return os.path.basename(os.path.dirname(path))


# ---- assemble ----------------------------------------------------------------

INTRO = """\
Third-party notices
===================

vorlane.dll and vorlane-host.exe are linked statically: besides Vorlane's own
code (under the MIT licence, see LICENSE), each contains parts of the
MinGW-w64 runtime (its start-up code, libmingw32, libmingwex, libmsvcrt and
the import stubs for Windows' own DLLs) and of GCC's runtime libraries
(libstdc++ and libgcc). Those parts stay under their own licences, one
section for each below. A section's "License:" line names its licence in the
short form of Debian's machine-readable copyright files.
"""
TEST_PROGRAMS = """\
The test programs and run-tests.exe are linked the same way, and the test
programs also contain {names}.
"""


def section(name, source, holders, text):
    lines = [RULE, f'License: {name}', f'From: {source}']
    lines += [f'Copyright: {h}' for h in holders]
    return lines + [''] + [f'  {line}'.rstrip() for line in text] + ['']


def text_source(name, dep5s):
    """The first copyright file that has the licence's text."""
    for dep5 in dep5s:
        try:
            return dep5, dep5.text_of(name)
        except NoticeError:
            pass
    raise NoticeError(f'no copyright file has a text for the licence "{name}"')


def assemble(args):
    mingw, gcc = Dep5(args.mingw_copyright), GccCopyright(args.gcc_copyright)
    extras = [Dep5(path) for path in args.copyright]
    out = INTRO.splitlines() + ['']
    if extras:
        names = ' and '.join(dep5.upstream for dep5 in extras)
        out += textwrap.fill(TEST_PROGRAMS.format(names=names), 78).splitlines() + ['']
    for name in args.licenses:
        if name == GCC_LICENSE:
            text = gcc.copyright + [''] + gcc.runtime_statement + [''] + gcc.exception
            out += section(name, f'GCC (Debian package {package_of(gcc.path)})', [], text)
        else:
            dep5, text = text_source(name, [mingw] + extras)
            source = f'{dep5.upstream} (Debian package {package_of(dep5.path)})'
            out += section(name, source, dep5.holders_of(name), text)
    # CRLF like the archive's other text files; nothing of the build folder in it.
    with open(args.output, 'w', encoding='utf-8', newline='\r\n') as f:
        f.write('\n'.join(out))
    return 0


# ---- check -------------------------------------------------------------------

MEMBER_LINE = re.compile(r'^(\S+)\(([^()\s]+)\)')
LOAD_OBJECT_LINE = re.compile(r'^LOAD (\S+\.obj?)$')


def linked_files(map_path):
    """(file, archive member or None) for every input of a GNU ld link map."""
    lines = read_text(map_path).splitlines()
    members_end = next((i for i, line in enumerate(lines)
                        if line.startswith(('Discarded input sections', 'Memory Configuration'))), len(lines))
    found = [(m[1], m[2]) for m in map(MEMBER_LINE.match, lines[1:members_end]) if m]
    found += [(m[1], None) for m in map(LOAD_OBJECT_LINE.match, lines[members_end:]) if m]
    return found


class Toolchain:
    """Tells which package installed a file, and what an object was built from."""

    def __init__(self, objdump):
        self.objdump = objdump
        # file -> {member name: (first DWARF source name, sections with sizes, source file symbol)}
        self.objects = {}

    @staticmethod
    def packages_of(paths):
        run = subprocess.run(['dpkg', '-S', *paths], capture_output=True, text=True)
        owner = {}
        for line in run.stdout.splitlines():
            packages, _, path = line.partition(': ')
            owner[path] = packages.split(', ')[0]
        return owner

    def describe(self, path, member):
        if path not in self.objects:
            run = subprocess.run([self.objdump, '-h', '-t', '--dwarf=info', '--dwarf-depth=1', path],
                                 capture_output=True, text=True)
            if run.returncode != 0:
                raise NoticeError(f'{self.objdump} cannot read {path}: {run.stderr.strip()}')
            self.objects[path] = self._parse(run.stdout)
        objects = self.objects[path]
        if member is None and len(objects) == 1:
            return next(iter(objects.values()))
        return objects.get(member)

    @staticmethod
    def _parse(dump):
        objects, current = {}, None
        for line in dump.splitlines():
            if m := re.match(r'^(\S+):\s+file format ', line):
                current = objects.setdefault(m[1], [None, {}, None])
            elif current is None:
                continue
            elif m := re.match(r'^\s+\d+\s+(\S+)\s+([0-9a-f]+)\s', line):
                current[1][m[1]] = int(m[2], 16)
            elif (m := re.match(r'^\[\s*\d+\]\(sec -2\).*\(scl 103\).*\s(\S+)$', line)) and current[2] is None:
                # The COFF .file symbol: the source's name, with or without debug information.
                current[2] = m[1]
            elif (m := re.search(r'DW_AT_name\s*:\s*(?:\([^)]*\):\s*)?(\S.*)$', line)) and current[0] is None:
                current[0] = m[1].strip()
        return {name: tuple(info) for name, info in objects.items()}


def is_import_stub(sections):
    # What dlltool makes from a .def file: .idata$N pieces and at most the
    # 8-byte jump through the import address, no other code or data.
    used = {name: size for name, size in sections.items() if size}
    return any(n.startswith('.idata$') for n in used) and all(
        n.startswith('.idata$') or (n == '.text' and size <= 8) for n, size in used.items())


def license_in(dep5, source):
    expression = dep5.license_of(source)
    if expression is None:
        raise NoticeError(f'no stanza of {dep5.path} matches {source}')
    return expression


def classify(path, member, package, known, toolchain):
    """The licence expression of one linked toolchain part, or raise why it has none."""
    if package is None:
        raise NoticeError('installed by no package')
    # Debian keeps each package's copyright file there; GCC's packages link
    # their folders to the one of gcc-mingw-w64-base.
    copyright_file = os.path.realpath(f'/usr/share/doc/{package}/copyright')
    mingw, gcc = known.mingw, known.gcc
    if copyright_file == os.path.realpath(mingw.path):
        info = toolchain.describe(path, member)
        if info is None:
            raise NoticeError(f'{path} has no member {member}')
        source, sections, _ = info
        if source is None:
            if is_import_stub(sections):
                return mingw.general_license(), 'import stubs'
            raise NoticeError('real code with no source name in its debug information')
        source = re.sub(r'^(\./)+', '', source)
        if source.startswith(('/', '../')):
            raise NoticeError(f'source name {source} lies outside the MinGW-w64 sources')
        return license_in(mingw, source), source
    if copyright_file == os.path.realpath(gcc.path):
        runtime = GCC_RUNTIME_OF_FILE.get(os.path.basename(path))
        if runtime is None:
            raise NoticeError(f'{os.path.basename(path)} is none of the GCC runtime libraries known here')
        if runtime not in gcc.runtime_libraries:
            raise NoticeError(f'{runtime} is not among the runtime libraries with the GCC Runtime Library Exception')
        return GCC_LICENSE, runtime
    for dep5 in known.extras:
        if copyright_file == os.path.realpath(dep5.path):
            # A library built without debug information still names its
            # source file, at the top of its source tree (zlib's are).
            info = toolchain.describe(path, member)
            if info is None or info[2] is None:
                raise NoticeError('no source file named in the object')
            return license_in(dep5, info[2]), info[2]
    raise NoticeError(f'from the package {package}, whose licence no copyright file given covers')


def classify_built(archive, member, source_root, known, toolchain):
    """The licence of an object we compiled from a package's sources (GoogleTest)."""
    info = toolchain.describe(archive, member)
    if info is None or info[2] is None:
        raise NoticeError('no source file named in the object')
    found = sorted(os.path.join(folder, info[2]) for folder, _, files in os.walk(source_root) if info[2] in files)
    if len(found) != 1:
        raise NoticeError(f'{len(found)} files named {info[2]} under {source_root}, want one')
    package = Toolchain.packages_of(found).get(found[0])
    if package is None:
        raise NoticeError(f'{found[0]} was installed by no package')
    copyright_file = os.path.realpath(f'/usr/share/doc/{package}/copyright')
    source = os.path.relpath(found[0], source_root)
    for dep5 in known.extras:
        if copyright_file == os.path.realpath(dep5.path):
            return license_in(dep5, source), source
    raise NoticeError(f'from the package {package}, whose licence no copyright file given covers')


def given_licenses(notices_path):
    return set(re.findall(r'^License: (.+?)\r?$', read_text(notices_path), re.M))


class Known:
    """The copyright files the check reads."""

    def __init__(self, args):
        self.mingw, self.gcc = Dep5(args.mingw_copyright), GccCopyright(args.gcc_copyright)
        self.extras = [Dep5(path) for path in args.copyright]


def check(args):
    if len(args.notices) != len(args.maps):
        raise NoticeError('give the link maps after each --notices with --maps')
    known = Known(args)
    ours = [os.path.realpath(d) + os.sep for d in args.ours]
    built = {}  # archive file name -> (archive, the package sources it was compiled from)
    for pair in args.built_from:
        archive, _, root = pair.partition('=')
        built[os.path.basename(archive)] = (archive, root)
    toolchain = Toolchain(args.objdump)
    problems = []
    for notices, maps in zip(args.notices, args.maps):
        given, needed = given_licenses(notices), set()
        notices_name = os.path.join(os.path.basename(os.path.dirname(notices)), os.path.basename(notices))
        print(f'held to {notices_name}:')
        for map_path in maps:
            binary = os.path.basename(map_path).removesuffix('.map')
            # The compiler driver names the toolchain's files by absolute path;
            # relative paths and those in our trees are our own objects, but
            # for the archives we compile from a package's sources.
            installed, compiled = [], []
            for p, m in linked_files(map_path):
                if os.path.basename(p) in built:
                    compiled.append((built[os.path.basename(p)], m))
                elif os.path.isabs(p) and not os.path.realpath(p).startswith(tuple(ours)):
                    installed.append((os.path.normpath(p), m))
            owner = toolchain.packages_of(sorted({p for p, _ in installed}))
            # (file, member, how to tell its licence)
            parts = [(p, m, lambda p=p, m=m: classify(p, m, owner.get(p), known, toolchain)) for p, m in installed]
            parts += [(a, m, lambda a=a, r=r, m=m: classify_built(a, m, r, known, toolchain))
                      for (a, r), m in compiled]
            counts = collections.Counter()
            for path, member, licence_of in parts:
                label = f'{os.path.basename(path)}({member})' if member else os.path.basename(path)
                try:
                    expression, source = licence_of()
                except NoticeError as e:
                    problems.append(f'{binary}: {label}: cannot tell its licence: {e}')
                    counts['(unknown)'] += 1
                    continue
                counts[expression] += 1
                needed.update(license_names(expression))
                if not covered(expression, given):
                    problems.append(f'{binary}: {label} ({source}) is under {expression}, '
                                    f'which {notices_name} does not give')
            print(f'{binary}: {len(parts)} third-party parts linked in')
            for expression, count in sorted(counts.items(), key=lambda item: (-item[1], item[0])):
                print(f'  {count:4}  {expression}')
        unneeded = sorted(given - needed)
        if unneeded:
            print(f'{notices_name} also gives, though nothing linked needs it: {", ".join(unneeded)}')
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--mingw-copyright', required=True, help="MinGW-w64's DEP-5 copyright file")
    parser.add_argument('--gcc-copyright', required=True, help="GCC's copyright file")
    parser.add_argument('--copyright', action='append', default=[],
                        help='a further DEP-5 copyright file, of a library the test programs link')
    commands = parser.add_subparsers(dest='command', required=True)
    make = commands.add_parser('assemble', help='write the notices file')
    make.add_argument('--output', required=True)
    make.add_argument('licenses', nargs='+', help='the licences to give, by short name')
    verify = commands.add_parser('check', help='check the notices against link maps')
    verify.add_argument('--objdump', required=True)
    verify.add_argument('--ours', action='append', default=[], help='a tree of our own objects')
    verify.add_argument('--built-from', action='append', default=[], metavar='ARCHIVE=SOURCES',
                        help='an archive we compile from the sources a package installs')
    verify.add_argument('--notices', action='append', required=True, help='a notices file, for the --maps after it')
    verify.add_argument('--maps', action='append', nargs='+', required=True,
                        help='link maps, named after their binary plus .map')
    args = parser.parse_args()
    try:
        return assemble(args) if args.command == 'assemble' else check(args)
    except NoticeError as e:
        print(f'{os.path.basename(sys.argv[0])}: {e}', file=sys.stderr)
        return 1


if __name__ == '__main__':
    sys.exit(main())
