#!/usr/bin/env python3
"""Installs one architecture's package in a new Wine prefix, uses it, and removes it again:
  install_test.py TREE PACKAGE OLDER_PACKAGE STAGE WINE_LOADER CLIENT_DIR WORK_DIR
STAGE holds the files PACKAGE installs, as make_package.sh laid them out.

In one 64-bit prefix (where the 32-bit package must write the 32-bit registry view):
 1. the reference: regsvr32 registers the modules at the paths the installer will use, and
    the registry changes it makes are kept; regsvr32 /u and the files go again;
 2. an older version of the package installs silently, then this version upgrades it;
 3. the registry changes of the installation are compared with regsvr32's, and the files
    with the package's; the older package must then refuse to replace this version;
 4. the installed tools, brisane-host and the example clients run against the installed copy;
 5. the uninstaller runs silently; after a restart nothing of ours is left, and what the
    user made in our folders and the host's plug-in folder is still there.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys

TREE, PACKAGE, OLDER_PACKAGE, STAGE, LOADER, CLIENTS, WORK = sys.argv[1:8]
PREFIX = os.path.join(WORK, 'prefix')
WINE = os.path.join(os.path.dirname(LOADER), 'wine64')
SERVER = os.path.join(os.path.dirname(LOADER), 'wineserver')
OLD_VERSION = re.search(r'-(\d+\.\d+\.\d+)-', os.path.basename(OLDER_PACKAGE)).group(1)
IS32 = TREE == 'win32'
PROGRAMS = 'C:\\Program Files (x86)' if IS32 else 'C:\\Program Files'
INSTDIR = PROGRAMS + '\\Sonvex2 and Brisane'
UNINSTALL_KEY = ('Software\\Wow6432Node\\' if IS32 else 'Software\\') + \
    'Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sonvex2 and Brisane (%s)' % ('32-bit' if IS32 else '64-bit')
# What is ours in the registry: our identifiers, names and folder.
OURS = re.compile(r'F4A4CFEA-BDF3-4192|F208B575-A8F3|CDDC917C-38E2|07E9370B-FAD9|93937A0B-2E96|DB9A9DC4-7638|'
                  r'6F0D1C32-5E7B|Sonvex|Brisane|Velk', re.IGNORECASE)
ENV = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=')
ENV.pop('DISPLAY', None)
faults = []


def fault(text):
    faults.append(text)
    print('  FAULT: ' + text)


def settle():
    subprocess.run([SERVER, '-w'], env=ENV, check=False)


def wine(*args, check=True):
    """Runs a Windows program in the test prefix to its end; returns its exit code and output."""
    done = subprocess.run([WINE] + list(args), env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=300)
    settle()
    output = done.stdout.decode('utf-8', 'replace').replace('\r', '')
    if check and done.returncode != 0:
        fault('%s exited with %d: %s' % (' '.join(args), done.returncode, output.strip()[-400:]))
    return done.returncode, output


def host_path(windows_path):
    drive, rest = windows_path.split(':', 1)
    assert drive.upper() == 'C'
    return os.path.join(PREFIX, 'drive_c', *[p for p in rest.split('\\') if p])


def z_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def system_tool(name):
    """The tool of this package's bitness: a 32-bit one from syswow64 for the 32-bit package."""
    return 'C:\\windows\\%s\\%s' % ('syswow64' if IS32 else 'system32', name)


def snapshot():
    """The machine's and the user's registry as {(hive, key): {value name: data}}."""
    settle()
    result = {}
    for hive, name in (('HKLM', 'system.reg'), ('HKCU', 'user.reg')):
        key = None
        pending = ''
        for line in open(os.path.join(PREFIX, name), encoding='utf-8', errors='replace'):
            line = line.rstrip('\n')
            if pending:
                line, pending = pending + line.strip(), ''
            if line.endswith('\\') and key is not None and not line.startswith('['):
                pending = line[:-1]
                continue
            header = re.match(r'^\[(.*)\](?: \d+)?$', line)
            if header:
                key = (hive, header.group(1).replace('\\\\', '\\'))
                result[key] = {}
            elif key is not None and (line.startswith('"') or line.startswith('@')):
                value = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
                if value:
                    result[key][value.group(1)] = value.group(2)
    return result


def changes(before, after):
    """Keys and values that are new or different in after, and those gone from before."""
    added = {}
    for key, values in after.items():
        old = before.get(key)
        if old is None:
            added[key] = dict(values)
        else:
            changed = {n: v for n, v in values.items() if old.get(n) != v}
            if changed:
                added[key] = changed
    removed = {key: values for key, values in before.items()
               if key not in after or any(n not in after[key] for n in values)}
    return added, removed


def ours(entries):
    return {k: v for k, v in entries.items() if OURS.search(k[1]) or any(OURS.search(x) for x in v.values())}


def files_under(folder):
    found = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            found[os.path.relpath(path, folder)] = hashlib.sha256(open(path, 'rb').read()).hexdigest()
    return found


def step(text):
    print('--- ' + text, flush=True)


def new_prefix():
    step('a new 64-bit Wine prefix')
    subprocess.run([WINE, 'wineboot', '-i'], env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    settle()
    if not os.path.isdir(host_path('C:\\windows\\syswow64')):
        sys.exit('install_test: the new prefix has no 32-bit part')
    # The host's plug-in folder: for the 32-bit package the 32-bit view names one that holds
    # another plug-in already; the other view names a folder that must not be used.
    other = 'C:\\Hosts\\Plugins64' if IS32 else 'C:\\Hosts\\Plugins32'
    if IS32:
        os.makedirs(host_path('C:\\Hosts\\Plugins'))
        open(host_path('C:\\Hosts\\Plugins\\Other.dll'), 'wb').write(b'a plug-in of the user\n')
        wine(system_tool('reg.exe'), 'add', 'HKLM\\Software\\VST', '/v', 'VSTPluginsPath', '/d', 'C:\\Hosts\\Plugins', '/f')
    wine('C:\\windows\\%s\\reg.exe' % ('system32' if IS32 else 'syswow64'), 'add', 'HKLM\\Software\\VST', '/v',
         'VSTPluginsPath', '/d', other, '/f')
    return 'C:\\Hosts\\Plugins' if IS32 else PROGRAMS + '\\VstPlugins'


def regsvr32_reference(stage):
    step('reference: regsvr32 at the installed paths')
    before = snapshot()
    os.makedirs(host_path(INSTDIR))
    for module in ('Sonvex2.dll', 'ExampleEngine.dll'):
        shutil.copy(os.path.join(stage, module), host_path(INSTDIR))
    for module in ('Sonvex2.dll', 'ExampleEngine.dll'):
        wine(system_tool('regsvr32.exe'), '/s', INSTDIR + '\\' + module)
    registered = snapshot()
    for module in ('Sonvex2.dll', 'ExampleEngine.dll'):
        wine(system_tool('regsvr32.exe'), '/s', '/u', INSTDIR + '\\' + module)
    shutil.rmtree(host_path(PROGRAMS + '\\Sonvex2 and Brisane'))
    after = snapshot()
    reference = ours(changes(before, registered)[0])
    left, _ = changes(before, after)
    if ours(left):
        fault('regsvr32 /u left %d keys of ours' % len(ours(left)))
    view = 'Software\\Classes\\Wow6432Node\\CLSID\\' if IS32 else 'Software\\Classes\\CLSID\\'
    if not any(k[1].startswith(view + '{F208B575') for k in reference):
        fault('regsvr32 did not register the resampler class under %s' % view)
    print('  regsvr32 writes %d keys (%d values)' % (len(reference), sum(len(v) for v in reference.values())))
    return after, reference


def read_value(key, name):
    values = snapshot().get(('HKLM', key), {})
    text = values.get('"%s"' % name)
    return None if text is None else re.sub(r'\\(.)', r'\1', text[1:-1])


def install(stage, plugin_dir, baseline, reference):
    step('silent install of %s, then this version over it' % OLD_VERSION)
    wine(OLDER_PACKAGE, '/S')
    if read_value(UNINSTALL_KEY, 'DisplayVersion') != OLD_VERSION:
        fault('the older package did not record version %s' % OLD_VERSION)
    wine(PACKAGE, '/S')
    installed = snapshot()
    version = read_value(UNINSTALL_KEY, 'DisplayVersion')
    print('  installed version %s, plug-in folder %s' % (version, read_value(UNINSTALL_KEY, 'PluginFolder')))
    if version is None or version == OLD_VERSION:
        fault('the upgrade did not record the new version (found %s)' % version)
    entries = [k for k in installed if re.search(r'\\Uninstall\\Sonvex2 and Brisane', k[1])]
    if entries != [('HKLM', UNINSTALL_KEY)]:
        fault('uninstall entries %s, want exactly %s' % (entries, UNINSTALL_KEY))

    step('registry and files against regsvr32 and the package')
    added, removed = changes(baseline, installed)
    ours_added = ours(added)
    without_entry = {k: v for k, v in ours_added.items() if k[1] != UNINSTALL_KEY}
    if without_entry != reference:
        missing = sorted(set(reference) - set(without_entry))
        extra = sorted(set(without_entry) - set(reference))
        differing = sorted(k for k in set(reference) & set(without_entry) if reference[k] != without_entry[k])
        fault('registry differs from regsvr32: missing %s, extra %s, different values in %s'
              % (missing[:5], extra[:5], differing[:5]))
    else:
        print('  registry: the %d keys (%d values) regsvr32 writes, identical, plus the uninstall entry (%d values)'
              % (len(reference), sum(len(v) for v in reference.values()), len(ours_added.get(('HKLM', UNINSTALL_KEY), {}))))
    if ours(removed):
        fault('the installation removed keys of ours: %s' % sorted(ours(removed))[:5])
    expected = {rel: digest for rel, digest in files_under(stage).items() if rel != 'Brisane.dll'}
    got = files_under(host_path(INSTDIR))
    got.pop('uninstall.exe', None) or fault('no uninstall.exe')
    if got != expected:
        fault('installed files differ from the package: missing %s, extra %s, different %s' % (
            sorted(set(expected) - set(got))[:5], sorted(set(got) - set(expected))[:5],
            sorted(k for k in set(got) & set(expected) if got[k] != expected[k])[:5]))
    else:
        print('  files: %d in %s, each identical to the package\'s, and uninstall.exe' % (len(got), INSTDIR))
    plugin = host_path(plugin_dir + '\\Brisane.dll')
    if not os.path.isfile(plugin) or files_under(os.path.dirname(plugin)).get('Brisane.dll') != \
            files_under(stage)['Brisane.dll']:
        fault('Brisane.dll is not the package\'s in %s' % plugin_dir)
    else:
        print('  plug-in: Brisane.dll in %s' % plugin_dir)

    step('the older package refuses to replace this version')
    code, _ = wine(OLDER_PACKAGE, '/S', check=False)
    if code == 0 or ours(changes(installed, snapshot())[0]):
        fault('installing %s over this version was not refused (exit %d)' % (OLD_VERSION, code))
    else:
        print('  refused with exit code %d, nothing changed' % code)


def use(plugin_dir):
    step('the installed tools, brisane-host and the example clients')
    data = os.path.join(WORK, 'data')
    os.makedirs(data, exist_ok=True)
    tone, converted, processed = (os.path.join(data, n) for n in ('tone.wav', 'converted.wav', 'processed.wav'))
    checks = [
        ([INSTDIR + '\\sonvex-testsignal.exe', z_path(tone), '--rate', '44100', '--seconds', '1', '--channels', '2',
          '--format', 'pcm16', '--tones', '1000'], None),
        ([INSTDIR + '\\sonvex-convert.exe', z_path(tone), z_path(converted), '--rate', '48000'], None),
        ([INSTDIR + '\\brisane-host.exe', plugin_dir + '\\Brisane.dll', '-i', z_path(tone), '-o', z_path(processed),
          '--program', '1'], r'processed 44100 frames of 2 channel'),
        ([os.path.join(CLIENTS, 'fft_client.exe')], r'peak at bin 32 \(1378\.1 Hz\), magnitude 16\.00'),
        ([os.path.join(CLIENTS, 'resample_client.exe'), z_path(tone), z_path(os.path.join(data, 'client.wav')), '48000'],
         r'converted 44100 frames at 44100 Hz to 47968 frames at 48000 Hz'),
        ([os.path.join(CLIENTS, 'minimal_host.exe'), plugin_dir + '\\Brisane.dll'], r'Example EQ and Drive, program 4'),
    ]
    for args, pattern in checks:
        code, output = wine(*args)
        name = os.path.basename(args[0].replace('\\', '/'))
        if pattern and not re.search(pattern, output):
            fault('%s printed no "%s": %s' % (name, pattern, output.strip()[-300:]))
        elif code == 0:
            lines = [l for l in output.strip().splitlines() if l.strip()]
            print('  %s: %s' % (name, lines[-1] if lines else 'ok'))
    for path in (converted, processed):
        if not os.path.isfile(path) or os.path.getsize(path) < 1000:
            fault('%s was not written' % os.path.basename(path))


def uninstall(baseline, plugin_dir):
    step('silent uninstall, a restart, and what is left')
    user_file = host_path(INSTDIR + '\\sdk\\examples\\my-engine\\notes.txt')
    os.makedirs(os.path.dirname(user_file))
    open(user_file, 'w').write('the user\'s own file\n')
    command = read_value(UNINSTALL_KEY, 'QuietUninstallString')
    program = re.match(r'^"([^"]+)"', command or '')
    if not program:
        fault('no quiet uninstall command')
        return
    wine(program.group(1), '/S')
    wine('wineboot', '-r')
    left, removed = changes(baseline, snapshot())
    if ours(left) or ours(removed):
        fault('the registry still differs in keys of ours: %s' % sorted(ours(left) or ours(removed))[:5])
    else:
        print('  registry: nothing of ours (%d other keys changed by Wine itself)' % len(left))
    remaining = sorted(files_under(host_path(PROGRAMS + '\\Sonvex2 and Brisane')))
    if remaining != [os.path.join('sdk', 'examples', 'my-engine', 'notes.txt')]:
        fault('the installation folder holds %s, want only the user\'s file' % remaining[:5])
    else:
        print('  installation folder: only the user\'s file is left, in its folders')
    if IS32:
        if sorted(files_under(host_path(plugin_dir))) != ['Other.dll']:
            fault('the host\'s plug-in folder holds %s, want the user\'s Other.dll alone' %
                  sorted(files_under(host_path(plugin_dir))))
        else:
            print('  %s: the user\'s plug-in is left, Brisane.dll is gone' % plugin_dir)
    elif os.path.exists(host_path(plugin_dir)):
        fault('the plug-in folder %s that the installation made is still there' % plugin_dir)
    else:
        print('  %s, made by the installation, is gone' % plugin_dir)
    temporary = [p for p in files_under(os.path.join(PREFIX, 'drive_c', 'users'))
                 if re.search(r'~nsu|\\.tmp', p)]
    if temporary or any(n.startswith('~nsu') for _, d, _ in os.walk(os.path.join(PREFIX, 'drive_c')) for n in d):
        fault('temporary files of the uninstaller are left: %s' % temporary[:5])


def check_guide_links(stage):
    """Every relative link of the installed guides names a file the package installs."""
    step('the links of the installed guides')
    docs = os.path.join(stage, 'docs')
    for name in sorted(n for n in os.listdir(docs) if n.endswith('.md')):
        text = open(os.path.join(docs, name), encoding='utf-8').read()
        for target in re.findall(r'\]\(([^)#\s]+)', text):
            if '://' not in target and not os.path.exists(os.path.normpath(os.path.join(docs, target))):
                fault('docs/%s links to %s, which the package does not install' % (name, target))


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    check_guide_links(STAGE)
    print('packages: %s, and %s to upgrade from' % (os.path.basename(PACKAGE), os.path.basename(OLDER_PACKAGE)))
    plugin_dir = new_prefix()
    baseline, reference = regsvr32_reference(STAGE)
    install(STAGE, plugin_dir, baseline, reference)
    use(plugin_dir)
    uninstall(baseline, plugin_dir)
    subprocess.run([SERVER, '-k'], env=ENV, check=False)
    print('install test (%s): %s' % (TREE, 'FAILED, %d fault(s)' % len(faults) if faults else 'passed'))
    if not faults:
        shutil.rmtree(WORK, ignore_errors=True)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
