#!/usr/bin/env python3
"""Refuses includes that go the wrong way between layers.

Every quoted include names its folder from the repository root
("system/FolderChecks.h"). A folder may include its own files and those of
the folders listed for it below, nothing else; folders not listed (tests,
fixtures, fuzz targets, the native host project) may include any layer.
Prints each offending line and exits 1 when there is one.
"""
import os
import re
import sys

# Bottom to top; keep in step with the README's Layers section.
ALLOWED = {
    'base': set(),
    'codec': set(),
    'winlayer': {'base'},
    'p2sp': {'base'},
    'verifier': {'base', 'codec'},
    'engine': {'base', 'codec'},
    'config': {'base', 'codec', 'engine'},
    'report': {'base', 'codec', 'engine', 'config'},
    'system': {'base', 'codec', 'engine', 'config', 'report'},
    'ui': {'base', 'winlayer'},
    'webview': {'base', 'winlayer', 'ui', 'system'},
    'app': {'base', 'codec', 'winlayer', 'engine', 'config', 'report', 'system', 'ui', 'webview'},
    'tools': {'base', 'codec', 'engine', 'config'},
}
# The binary interfaces of the two carried libraries: the only headers of
# theirs that the engine binding may include.
LIBRARY_INTERFACES = {'p2sp/P2spApi.h', 'verifier/VerifierApi.h'}
INTERFACE_USERS = {'engine', 'app', 'tools'}
# Generated into the build folder under the same names.
GENERATED = {'config/BuildConfig.h'}
SOURCE_SUFFIXES = ('.h', '.hpp', '.inl', '.c', '.cpp')
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def check(root):
    faults = []
    for folder, dirs, files in os.walk(root):
        rel_folder = os.path.relpath(folder, root)
        top = rel_folder.split(os.sep)[0]
        if top in ('build', '.git') or rel_folder.startswith(os.path.join('fuzz', 'shim')):
            dirs[:] = []
            continue
        for name in files:
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            with open(path, encoding='utf-8', errors='replace') as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target = match.group(1)
                    where = f'{rel}:{number}: "{target}"'
                    if '/' not in target or target.startswith('.'):
                        faults.append(f'{where} does not name its folder from the repository root')
                        continue
                    if target not in GENERATED and not os.path.isfile(os.path.join(root, target)):
                        faults.append(f'{where} is not a file of the repository')
                        continue
                    layer = target.split('/')[0]
                    if top not in ALLOWED or layer == top:
                        continue
                    if target in LIBRARY_INTERFACES and top in INTERFACE_USERS:
                        continue
                    if layer not in ALLOWED[top]:
                        faults.append(f'{where}: {top}/ may not include {layer}/')
    return faults


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), '..'))
    faults = check(root)
    for fault in faults:
        print(f'layers: {fault}')
    print(f'layers: {"ok" if not faults else str(len(faults)) + " wrong-way or unqualified includes"}')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
