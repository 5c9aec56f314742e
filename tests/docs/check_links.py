#!/usr/bin/env python3
"""Fails when a relative link in README.md or docs/*.md points nowhere.

A link to a path must name a file or folder of the source tree; a link with an anchor (#x, or
page.md#x) into a Markdown file must name one of its headings, by the slugs GitHub gives them.
Links with a scheme (https:, mailto:) are not looked at, nor is anything inside code.

    check_links.py SOURCE_DIR
"""
import glob
import os
import re
import sys
import urllib.parse

FENCE = re.compile(r'^ {0,3}(`{3,}|~{3,})')
HEADING = re.compile(r'^ {0,3}(#{1,6})[ \t]+(.*?)(?:[ \t]+#+)?[ \t]*$')
CODE_SPAN = re.compile(r'(`+).*?\1')
INLINE_LINK = re.compile(r'\]\(\s*(<[^>]*>|[^)\s]*)(?:\s+(?:"[^"]*"|\'[^\']*\'))?\s*\)')
REFERENCE = re.compile(r'^ {0,3}\[[^\]]+\]:\s*(<[^>]*>|\S+)')
HTML_ANCHOR = re.compile(r'<a\s[^>]*(?:name|id)="([^"]+)"', re.IGNORECASE)
SCHEME = re.compile(r'^[A-Za-z][A-Za-z0-9+.-]*:')


def text_lines(path):
    """(line number, line) of everything outside fenced and indented code blocks."""
    fence = None
    indented = False
    previous_blank = True
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip('\n')
            m = FENCE.match(line)
            if fence is not None:
                if m and m.group(1)[0] == fence[0] and len(m.group(1)) >= len(fence):
                    fence = None
                previous_blank = False
                continue
            if m:
                fence = m.group(1)
                continue
            blank = line.strip() == ''
            if not blank and (line.startswith('    ') or line.startswith('\t')):
                if previous_blank or indented:
                    indented = True
                    continue
            elif not blank:
                indented = False
            previous_blank = blank
            yield number, line


def slug(heading):
    """GitHub's anchor for a heading: its text as shown, lower case, punctuation other than '-'
    and '_' removed, each space a '-'."""
    text = re.sub(r'!?\[([^\]]*)\]\([^)]*\)', r'\1', heading)  # links and images: their text
    text = re.sub(r'<[^>]+>', '', text)  # HTML tags
    text = text.replace('`', '').replace('*', '')
    text = ''.join(c for c in text.lower() if c.isalnum() or c in ' -_')
    return text.replace(' ', '-')


def anchors(path, cache={}):
    if path not in cache:
        found = set()
        counts = {}
        for _, line in text_lines(path):
            m = HEADING.match(line)
            if m:
                base = slug(m.group(2))
                n = counts.get(base, 0)
                counts[base] = n + 1
                found.add(base if n == 0 else f'{base}-{n}')
            found.update(HTML_ANCHOR.findall(line))
        cache[path] = found
    return cache[path]


def targets(line):
    line = CODE_SPAN.sub('', line)
    for m in INLINE_LINK.finditer(line):
        yield m.group(1)
    m = REFERENCE.match(line)
    if m:
        yield m.group(1)


def problem(root, page, target):
    """Why target, linked from page, points nowhere; None when it resolves."""
    target = target.strip('<>')
    if target == '' or SCHEME.match(target):
        return None
    path, _, anchor = target.partition('#')
    path = urllib.parse.unquote(path.split('?')[0])
    anchor = urllib.parse.unquote(anchor)
    if path == '':
        resolved = page
    elif path.startswith('/'):
        resolved = os.path.normpath(os.path.join(root, path.lstrip('/')))
    else:
        resolved = os.path.normpath(os.path.join(os.path.dirname(page), path))
    if os.path.relpath(resolved, root).startswith('..'):
        return 'outside the source tree'
    if not os.path.exists(resolved):
        return 'no such file or folder'
    if anchor and resolved.endswith('.md') and os.path.isfile(resolved):
        if anchor not in anchors(resolved):
            return f'no heading for #{anchor} in {os.path.relpath(resolved, root)}'
    return None


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1].strip())
    root = os.path.abspath(sys.argv[1])
    pages = [os.path.join(root, 'README.md')] + sorted(glob.glob(os.path.join(root, 'docs', '*.md')))
    broken = 0
    checked = 0
    for page in pages:
        for number, line in text_lines(page):
            for target in targets(line):
                checked += 1
                why = problem(root, page, target)
                if why:
                    broken += 1
                    print(f'{os.path.relpath(page, root)}:{number}: broken link {target}: {why}')
    print(f'{checked} links in {len(pages)} pages, {broken} broken')
    return 1 if broken else 0


if __name__ == '__main__':
    sys.exit(main())
