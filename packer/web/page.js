// The package maker's page: the publisher's files, the description (a form, or its text), the
// checks, the preview and the installer. Every rule, check and message is the packer's own, from
// its module in the worker (worker.js): this page only shows them.
'use strict';

const $ = (id) => document.getElementById(id);
const page = {
    worker: null,
    start: null,       // what the module tells at start: keys, kinds, texts, layout, the kit's art
    files: new Map(),  // path from the top of what was given -> File
    folder: '',        // the description's folder, which sources are relative to
    mode: 'form',
    descriptionName: 'package.package',
    original: null,    // a description file's own bytes, used as they are until its text is edited
    check: null,       // the last check's answer
    fields: [],        // the form's lines: {line, key} or {line, file}
    layout: null,
    art: {picture: {source: null, image: null}, icon: {source: null, url: null}},
    download: null,
    packing: false,
    readyAt: null,
    lastPack: null,
    filesGiven: 0,     // counts the times files were given, after which the art is read again
};
window.tazelPage = page;

// The worker -----------------------------------------------------------------------------------

let nextId = 1;
const waiting = new Map();

function ask(message, transfer) {
    const id = nextId++;
    return new Promise((resolve, reject) => {
        waiting.set(id, {resolve, reject});
        page.worker.postMessage({...message, id}, transfer || []);
    });
}

function startWorker() {
    page.worker = new Worker('worker.js');
    page.worker.onmessage = (event) => {
        const message = event.data;
        if (message.type === 'ready')
            return ready(message);
        if (message.type === 'progress')
            return progress(message.done, message.total);
        if (message.type === 'stopped')
            return restart(message.message);
        const asked = waiting.get(message.id);
        if (!asked)
            return;
        waiting.delete(message.id);
        if (message.type === 'failed')
            asked.reject(new Error(message.message));
        else
            asked.resolve(message);
    };
    page.worker.onerror = (event) => {
        event.preventDefault();
        say('make-alert', `The package maker stopped: ${event.message}. Reload the page to start it again.`);
    };
    // Threads need a cross-origin isolated page; elsewhere the same code runs on one thread.
    page.worker.postMessage({type: 'start', threads: self.crossOriginIsolated === true});
}

// A module that stopped (it should not) is replaced by a new one, given the same files.
function restart(reason) {
    page.worker.terminate();
    for (const {reject} of waiting.values())
        reject(new Error(`the package maker stopped (${reason})`));
    waiting.clear();
    page.packing = false;
    say('make-alert', `The package maker stopped (${reason}); it starts again, with your files.`);
    startWorker();
}

// Saying --------------------------------------------------------------------------------------------

function say(id, text) {
    $(id).textContent = text;
}

const plural = (count, one, many) => `${count.toLocaleString('en')} ${count === 1 ? one : many}`;
const bytesText = (size) => plural(size, 'byte', 'bytes');

// Changes not yet checked: those waiting out their pause, and those being checked.
let unsettled = 0;
page.settled = () => unsettled === 0;

function debounce(call, ms) {
    let timer = null;
    return () => {
        if (timer === null)
            unsettled++;
        clearTimeout(timer);
        timer = setTimeout(() => {
            timer = null;
            unsettled--;
            call();
        }, ms);
    };
}

// Paths ---------------------------------------------------------------------------------------------

const folderOf = (path) => path.includes('/') ? path.slice(0, path.lastIndexOf('/')) : '';
const nameOf = (path) => path.slice(path.lastIndexOf('/') + 1);

// `path` (from the top) as a source relative to `folder`.
function relative(path, folder) {
    if (!folder)
        return path;
    const from = folder.split('/');
    const to = path.split('/');
    let same = 0;
    while (same < from.length && same < to.length - 1 && from[same] === to[same])
        same++;
    return [...from.slice(same).map(() => '..'), ...to.slice(same)].join('/');
}

const isDescription = (path) => /\.package$/i.test(path);

// Ready ----------------------------------------------------------------------------------------------

function ready(told) {
    if (page.start) {
        // Started again: the same files and folder, and the description checked anew.
        ask({type: 'files', files: [...page.files].map(([path, file]) => ({path, file}))}).then(() => {
            sendFolder();
            changed();
        });
        return;
    }
    page.start = told;
    page.layout = told.layout;
    page.art.picture.image = null;
    setKitArt(told).then(() => {
        buildForm();
        buildStarters();
        $('loading').hidden = true;
        say('about', `Package maker ${told.version}, the same code as tazelpack ${told.version}; ` +
            (told.threads ? `it compresses on up to ${Math.min(told.processors, 4)} threads.`
                          : 'it compresses on one thread here (the page is not cross-origin isolated).'));
        page.readyAt = performance.now();
        document.documentElement.dataset.ready = 'yes';
        followDpi();
        formChanged();
    });
}

async function imageOf(art) {
    if (!art)
        return null;
    return createImageBitmap(new Blob([art.bytes], {type: art.type}));
}

async function setKitArt(told) {
    const icon = URL.createObjectURL(new Blob([told.icon.bytes], {type: told.icon.type}));
    page.kit = {picture: await imageOf(told.picture), icon};
    page.art.picture.image = page.kit.picture;
    $('window-icon').src = page.kit.icon;
}

// The preview follows the screen's scale (and the page's zoom), as the installer follows its DPI.
function followDpi() {
    const dpi = Math.round(96 * (window.devicePixelRatio || 1));
    if (dpi !== page.layout.dpi) {
        ask({type: 'layout', dpi}).then((answer) => {
            page.layout = answer.layout;
            drawPreview();
            loadArt(true);
        });
    }
    matchMedia(`(resolution: ${window.devicePixelRatio || 1}dppx)`).addEventListener('change', followDpi, {once: true});
}

// Files ----------------------------------------------------------------------------------------------

async function takeFiles(entries, replace) {
    if (!page.start)
        return;
    if (replace) {
        page.files.clear();
        page.worker.postMessage({type: 'forget'});
    }
    const given = entries.filter(({path}) => path && !path.split('/').some((part) => part === '..'));
    for (const {path, file} of given)
        page.files.set(path, file);
    page.filesGiven++;
    say('files-status', `Reading ${plural(given.length, 'file', 'files')}…`);
    const answer = await ask({type: 'files', files: given});
    for (const {path, reason} of answer.refused) {
        page.files.delete(path);
        say('make-alert', reason === 'memory'
            ? `${path} is too large for this browser's memory: the page left it out.`
            : `${path} could not be read (${reason}): the page left it out.`);
    }
    listFiles();
    if (replace)
        await chooseDescription();
    else
        refreshSources();
    $('start-over').disabled = page.files.size === 0;
    const descriptions = [...page.files.keys()].filter(isDescription).length;
    say('files-status', `${plural(page.files.size, 'file', 'files')} in this page` +
        (descriptions ? `, ${plural(descriptions, 'description', 'descriptions')} among them.` : '.'));
    changed();
}

function listFiles() {
    const list = $('held-list');
    list.replaceChildren(...[...page.files].map(([path, file]) => {
        const item = document.createElement('li');
        item.textContent = `${path} (${bytesText(file.size)})`;
        return item;
    }));
    say('held-count', String(page.files.size));
}

// A folder given: its description, if it holds one, else the form over its files.
async function chooseDescription() {
    const descriptions = [...page.files.keys()].filter(isDescription).sort((a, b) =>
        a.split('/').length - b.split('/').length || a.localeCompare(b));
    const which = $('which');
    which.replaceChildren(...descriptions.map((path) => new Option(path, path)));
    $('which-row').hidden = descriptions.length < 2;
    if (descriptions.length > 0)
        return useDescription(descriptions[0]);
    // No description: the form, over the files from their common top folder.
    const paths = [...page.files.keys()];
    const tops = new Set(paths.map((path) => path.includes('/') ? path.split('/')[0] : ''));
    page.folder = tops.size === 1 && !tops.has('') ? [...tops][0] : '';
    sendFolder();
    page.original = null;
    page.mode = 'form';
    await fillFormFiles();
    setMode('form');
}

async function useDescription(path) {
    page.folder = folderOf(path);
    sendFolder();
    page.descriptionName = nameOf(path);
    page.mode = 'text';
    const bytes = new Uint8Array(await page.files.get(path).arrayBuffer());
    // Its own bytes, as tazelpack reads them, until its text is edited.
    page.original = bytes;
    $('description').value = new TextDecoder().decode(bytes);
    refreshSources();
    setMode('text');
}

function sendFolder() {
    page.worker.postMessage({type: 'folder', folder: page.folder});
}

// Every file but descriptions, as a source relative to the description's folder.
function sources() {
    const paths = [...page.files.keys()].filter((path) => !isDescription(path));
    return paths.map((path) => relative(path, page.folder)).sort();
}

// Drop and pick: a folder's files come with their paths from the folder, as the browser gives them.
async function entriesOf(items) {
    const entries = [];
    const walk = async (entry) => {
        if (entry.isFile) {
            const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
            entries.push({path: entry.fullPath.replace(/^\//, ''), file});
            return;
        }
        const reader = entry.createReader();
        for (;;) {
            const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
            if (batch.length === 0)
                break;
            for (const child of batch)
                await walk(child);
        }
    };
    const top = items.map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry()).filter(Boolean);
    for (const entry of top)
        await walk(entry);
    return {entries, folder: top.some((entry) => entry.isDirectory)};
}

function setUpIntake() {
    $('pick-folder').addEventListener('change', (event) => {
        const entries = [...event.target.files].map((file) => ({path: file.webkitRelativePath || file.name, file}));
        event.target.value = '';
        takeFiles(entries, true);
    });
    $('pick-files').addEventListener('change', (event) => {
        const entries = [...event.target.files].map((file) => ({path: joined(page.folder, file.name), file}));
        event.target.value = '';
        takeFiles(entries, page.files.size === 0);
    });
    $('start-over').addEventListener('click', () => takeFiles([], true));
    $('which').addEventListener('change', (event) => useDescription(event.target.value));
    const drop = document.body;
    drop.addEventListener('dragover', (event) => {
        event.preventDefault();
        $('drop').classList.add('over');
    });
    drop.addEventListener('dragleave', () => $('drop').classList.remove('over'));
    drop.addEventListener('drop', async (event) => {
        event.preventDefault();
        $('drop').classList.remove('over');
        const {entries, folder} = await entriesOf([...event.dataTransfer.items]);
        if (folder)
            takeFiles(entries, true);
        else
            takeFiles(entries.map(({path, file}) => ({path: joined(page.folder, path), file})), page.files.size === 0);
    });
}

const joined = (folder, name) => folder ? `${folder}/${name}` : name;

// The form --------------------------------------------------------------------------------------------

const kindTitle = () => {
    const kind = page.check && page.check.kind;
    return kind ? kind.name[0].toUpperCase() + kind.name.slice(1) : 'Package';
};

function buildForm() {
    const keys = $('keys');
    keys.replaceChildren();
    for (const key of page.start.keys) {
        const row = document.createElement('p');
        row.className = 'key';
        const id = `key-${key.name}`;
        const label = document.createElement('label');
        label.htmlFor = id;
        label.innerHTML = `<code></code>${key.required ? ' <span class="required">(required)</span>' : ''}`;
        label.firstChild.textContent = key.name;
        let input;
        if (key.namesFile || key.choices) {
            input = document.createElement('select');
            input.append(new Option(key.namesFile ? `none: ${key.byDefault}` : `${key.byDefault} (the default)`, ''));
            for (const choice of key.choices ? key.choices.split('|').filter((c) => c !== key.byDefault) : [])
                input.append(new Option(choice, choice));
        } else {
            input = document.createElement('input');
            input.type = 'text';
            input.autocomplete = 'off';
            input.spellcheck = false;
            if (key.required)
                input.required = true;
        }
        input.id = id;
        input.dataset.key = key.name;
        input.dataset.example = key.example;
        const hint = document.createElement('span');
        hint.className = 'hint';
        hint.id = `${id}-hint`;
        hint.textContent = key.required ? key.takes : `${key.takes}; without it, ${key.byDefault}`;
        const problem = document.createElement('span');
        problem.className = 'problem';
        problem.id = `${id}-problem`;
        input.setAttribute('aria-describedby', `${hint.id} ${problem.id}`);
        // A list's choice may come as a change alone.
        input.addEventListener(input.tagName === 'SELECT' ? 'change' : 'input', formChanged);
        row.append(label, input, hint, problem);
        keys.append(row);
    }
    $('add-file').addEventListener('click', () => {
        const used = new Set(fileRows().map((row) => row.source));
        const next = sources().find((source) => !used.has(source)) || '';
        addFileRow(nameOf(next), next);
        formChanged();
        $('file-rows').lastElementChild.querySelector('input').focus();
    });
    setPlaceholders();
}

function setPlaceholders() {
    for (const input of document.querySelectorAll('#keys input'))
        input.placeholder = input.dataset.example.replace('{Kind}', kindTitle());
}

function fileRows() {
    return [...$('file-rows').children].map((row) => ({
        row,
        name: row.querySelector('input').value,
        source: row.querySelector('select').value,
    }));
}

function addFileRow(name, source) {
    const rows = $('file-rows');
    const row = document.createElement('tr');
    const number = document.createElement('td');
    const nameCell = document.createElement('td');
    const sourceCell = document.createElement('td');
    const actions = document.createElement('td');
    const input = document.createElement('input');
    input.type = 'text';
    input.value = name;
    input.spellcheck = false;
    input.autocomplete = 'off';
    const select = document.createElement('select');
    fillSources(select, source);
    const problem = document.createElement('span');
    problem.className = 'problem';
    nameCell.append(input, problem);
    sourceCell.append(select);
    const button = (text, label, act) => {
        const b = document.createElement('button');
        b.type = 'button';
        b.textContent = text;
        b.setAttribute('aria-label', label);
        b.addEventListener('click', () => {
            act();
            numberRows();
            formChanged();
        });
        return b;
    };
    actions.append(
        button('↑', 'Move up', () => row.previousElementSibling &&
               rows.insertBefore(row, row.previousElementSibling)),
        button('↓', 'Move down', () => row.nextElementSibling && rows.insertBefore(row.nextElementSibling, row)),
        button('✕', 'Remove', () => row.remove()));
    input.addEventListener('input', formChanged);
    select.addEventListener('change', () => {
        // A name not yet changed by hand follows its source.
        if (!input.value || input.value === nameOf(select.dataset.previous || ''))
            input.value = nameOf(select.value);
        select.dataset.previous = select.value;
        formChanged();
    });
    select.dataset.previous = source;
    row.append(number, nameCell, sourceCell, actions);
    rows.append(row);
    numberRows();
}

// Each row's number and its controls' names, which say which file they are.
function numberRows() {
    fileRows().forEach(({row}, index) => {
        const n = index + 1;
        row.cells[0].textContent = String(n);
        const [input, select] = [row.querySelector('input'), row.querySelector('select')];
        input.setAttribute('aria-label', `File ${n}: name in the game's folder`);
        select.setAttribute('aria-label', `File ${n}: made from`);
        const buttons = row.querySelectorAll('button');
        buttons[0].setAttribute('aria-label', `Move file ${n} up`);
        buttons[1].setAttribute('aria-label', `Move file ${n} down`);
        buttons[2].setAttribute('aria-label', `Remove file ${n}`);
    });
}

function fillSources(select, chosen) {
    const options = sources();
    if (chosen && !options.includes(chosen))
        options.unshift(chosen);
    select.replaceChildren(new Option('(choose a file)', ''), ...options.map((source) => new Option(source, source)));
    select.value = chosen || '';
}

// The files' sources and the art's choices follow the files this page holds.
function refreshSources() {
    for (const {row, source} of fileRows())
        fillSources(row.querySelector('select'), source);
    for (const key of page.start.keys.filter((k) => k.namesFile)) {
        const select = $(`key-${key.name}`);
        const chosen = select.value;
        const first = select.options[0];
        select.replaceChildren(first, ...sources().map((source) => new Option(source, source)));
        if (chosen && !sources().includes(chosen))
            select.append(new Option(chosen, chosen));
        select.value = chosen;
    }
}

// Given files without a description: each a file of the package, named as it is; those whose
// names make a package's kind (by the installer's own rule) first.
async function fillFormFiles() {
    $('file-rows').replaceChildren();
    refreshSources();
    const all = sources();
    const kinds = await Promise.all(all.map((source) => ask({type: 'kind', name: nameOf(source)})));
    const ordered = [...all.filter((_, i) => kinds[i].kind), ...all.filter((_, i) => !kinds[i].kind)];
    for (const source of ordered)
        addFileRow(nameOf(source), source);
    formChanged();
}

// From a description's text to the form: the values and files as the packer read them.
function formFromCheck(check) {
    for (const key of page.start.keys) {
        const input = $(`key-${key.name}`);
        const value = check.values[key.name] || '';
        if (input.tagName === 'SELECT' && ![...input.options].some((o) => o.value === value))
            input.append(new Option(value, value));
        input.value = value;
    }
    $('file-rows').replaceChildren();
    for (const file of check.files)
        addFileRow(file.name, file.source);
}

function formValues() {
    const keys = page.start.keys.map((key) => [key.name, $(`key-${key.name}`).value]);
    const files = fileRows().map(({name, source}) => [name, source]);
    return {keys, files};
}

// Modes -----------------------------------------------------------------------------------------------

// `carry`: the description goes along, the form's text to the text, or the text as read to the form.
function setMode(mode, carry) {
    if (carry && mode === 'text' && page.mode === 'form' && page.written !== undefined) {
        $('description').value = page.written;
        page.original = null;
        page.descriptionName = descriptionNameFromForm();
    } else if (carry && mode === 'form' && page.mode === 'text' && page.check) {
        formFromCheck(page.check);
    }
    page.mode = mode;
    document.querySelector(`input[name=mode][value=${mode}]`).checked = true;
    showMode();
    changed();
}

function showMode() {
    const form = page.mode === 'form';
    $('form').hidden = !form;
    $('written-block').hidden = !form;
    $('text-mode').hidden = form;
    say('description-name', page.descriptionName);
}

function descriptionNameFromForm() {
    const name = ($('key-installer-name') && $('key-installer-name').value.trim()) || 'package';
    return `${name.replace(/[\\/:*?"<>|]/g, '_')}.package`;
}

function buildStarters() {
    const place = $('starters');
    for (const {kind, text} of page.start.starters) {
        const b = document.createElement('button');
        b.type = 'button';
        b.textContent = `a ${kind} package`;
        b.addEventListener('click', () => {
            $('description').value = text;
            page.original = null;
            changed();
            $('description').focus();
        });
        place.append(' ', b);
    }
}

// Checks ----------------------------------------------------------------------------------------------

let checking = 0;

const formChanged = debounce(() => {
    if (page.mode === 'form')
        changed();
}, 150);

const textChanged = debounce(() => {
    page.original = null;
    changed();
}, 250);

// The description as it stands, in its bytes.
function descriptionBytes() {
    if (page.mode === 'text')
        return page.original || new TextEncoder().encode($('description').value);
    return new TextEncoder().encode(page.written || '');
}

async function changed() {
    if (!page.start)
        return;
    unsettled++;
    try {
        await check();
    } finally {
        unsettled--;
    }
}

async function check() {
    const mine = ++checking;
    forgetDownload();
    let answer;
    if (page.mode === 'form') {
        answer = await ask({type: 'form', ...formValues()});
        if (mine !== checking || page.mode !== 'form')
            return;
        page.written = answer.text;
        page.fields = answer.fields;
        page.descriptionName = descriptionNameFromForm();
        $('written').textContent = answer.text;
    } else {
        answer = await ask({type: 'check', bytes: descriptionBytes()});
        if (mine !== checking || page.mode !== 'text')
            return;
        page.fields = [];
    }
    page.check = answer;
    showProblems(answer);
    showKind(answer);
    setPlaceholders();
    saveLink();
    drawPreview();
    loadArt(false);
    updateMake();
}

function fieldOf(line) {
    const field = page.fields.find((f) => f.line === line);
    if (!field)
        return null;
    if (field.key !== undefined)
        return {label: field.key, input: $(`key-${field.key}`), problem: $(`key-${field.key}-problem`)};
    const row = fileRows()[field.file];
    return row && {label: `file ${field.file + 1}`, input: row.row.querySelector('input'),
                   problem: row.row.querySelector('.problem')};
}

function showProblems(answer) {
    for (const element of document.querySelectorAll('.problem'))
        element.textContent = '';
    for (const element of document.querySelectorAll('[aria-invalid]'))
        element.removeAttribute('aria-invalid');
    const list = $('problems');
    list.replaceChildren(...answer.problems.map(({line, text}) => {
        const item = document.createElement('li');
        const field = page.mode === 'form' ? fieldOf(line) : null;
        const where = field ? field.label : line ? `line ${line}` : page.descriptionName;
        const button = document.createElement('button');
        button.type = 'button';
        button.className = 'where';
        button.textContent = `${where}:`;
        button.addEventListener('click', () => goTo(line, field));
        const message = document.createElement('span');
        message.className = 'text';
        message.textContent = ` ${text}`;
        item.dataset.line = String(line);
        item.append(button, message);
        if (field) {
            field.input.setAttribute('aria-invalid', 'true');
            field.problem.textContent = (field.problem.textContent ? field.problem.textContent + ' ' : '') + text;
        }
        return item;
    }));
    const count = answer.problems.length;
    const status = count === 0 ? 'No problems: the installer can be made.'
                               : `${plural(count, 'problem', 'problems')}: the installer cannot be made yet.`;
    if ($('check-status').textContent !== status)
        say('check-status', status);
    $('summary').hidden = !answer.summary;
    $('summary').textContent = answer.summary || '';
}

function goTo(line, field) {
    if (field) {
        field.input.focus();
        return;
    }
    if (page.mode !== 'text' || !line)
        return;
    const area = $('description');
    const lines = area.value.split('\n');
    const start = lines.slice(0, line - 1).reduce((sum, text) => sum + text.length + 1, 0);
    area.focus();
    area.setSelectionRange(start, start + (lines[line - 1] || '').length);
}

function showKind(answer) {
    const files = answer.files.length;
    const first = answer.files[0];
    let text;
    if (!first)
        text = 'No files yet.';
    else if (answer.kind)
        text = `The first name, ${first.name}, makes a ${answer.kind.name} package: the installer writes exactly ` +
            `${answer.kind.count} files (${files} listed).`;
    else {
        const endings = page.start.kinds.map((k) => `“${k.ending}” (${k.name})`).join(' nor ');
        text = `The first name, ${first.name}, ends in neither ${endings}: the installer writes that one file ` +
            `only (${files} listed).`;
    }
    say('kind', text);
}

function saveLink() {
    const link = $('save-description');
    if (link.href.startsWith('blob:'))
        URL.revokeObjectURL(link.href);
    link.href = URL.createObjectURL(new Blob([descriptionBytes()], {type: 'text/plain'}));
    link.download = page.descriptionName;
}

// The preview ------------------------------------------------------------------------------------------

function values() {
    return (page.check && page.check.values) || {};
}

function drawPreview() {
    if (!page.layout)
        return;
    const display = values()['display-name'] || '';
    const texts = page.start.texts;
    TazelPreview.draw($('window-canvas'), page.layout, page.art.picture.image, display + texts.packageLineSuffix);
    say('window-title', page.layout.title);
    say('box-title', texts.successTitle);
    say('box-text', display + texts.installedSuffix);
}

// The publisher's picture and icon, or the product's, as the installer would show them; one the
// packer cannot use leaves its place empty, as the checks say why.
async function loadArt(again) {
    const iconSize = Math.round(16 * page.layout.dpi / 96);
    for (const what of ['picture', 'icon']) {
        const source = values()[what === 'picture' ? 'window-picture' : 'icon'] || '';
        const known = page.art[what];
        const key = `${source}@${iconSize}@${page.filesGiven}`;
        if (!again && known.key === key)
            continue;
        known.key = key;
        known.unusable = false;
        if (!source) {
            if (what === 'picture')
                known.image = page.kit.picture;
            else
                $('window-icon').src = page.kit.icon;
            continue;
        }
        const answer = await ask({type: 'art', what, source, size: iconSize});
        if (known.key !== key)
            continue;
        known.unusable = !answer.art;
        if (what === 'picture') {
            known.image = await imageOf(answer.art);
        } else {
            if (known.url)
                URL.revokeObjectURL(known.url);
            known.url = answer.art ? URL.createObjectURL(new Blob([answer.art.bytes], {type: answer.art.type})) : null;
            $('window-icon').src = known.url || 'data:,';
        }
    }
    const unusable = ['picture', 'icon'].filter((what) => page.art[what].unusable);
    $('art-note').hidden = unusable.length === 0;
    say('art-note', unusable.length === 0 ? '' : `The ${unusable.join(' and the ')} cannot be shown: see the checks.`);
    drawPreview();
}

// The installer -------------------------------------------------------------------------------------------

function updateMake() {
    const good = page.check && page.check.problems.length === 0;
    $('make').disabled = !good || page.packing;
    const name = good ? `${values()['installer-name']}.exe` : '';
    $('make').textContent = good ? `Make ${name}` : 'Make the installer';
}

function forgetDownload() {
    if (!page.download)
        return;
    URL.revokeObjectURL(page.download.url);
    page.download = null;
    $('download-row').hidden = true;
    if (!page.packing)
        say('make-status', 'The description changed since the installer was made: make it again.');
}

function progress(done, total) {
    const bar = $('progress');
    bar.hidden = false;
    bar.value = total ? Math.floor(100 * done / total) : 0;
    bar.setAttribute('aria-valuetext', `compressing: ${bar.value} %`);
}

async function make() {
    if (page.packing)
        return;
    page.packing = true;
    updateMake();
    const compressed = values().compression === 'lzma';
    $('refusal').hidden = true;
    say('make-alert', '');
    say('make-status', compressed ? 'Making the installer: compressing its files…' : 'Making the installer…');
    const bar = $('progress');
    bar.removeAttribute('value');
    bar.hidden = !compressed;
    const asked = performance.now();
    const bytes = descriptionBytes();
    let answer;
    try {
        const held = joined(page.folder, page.descriptionName);
        answer = await ask({type: 'pack', held, path: page.descriptionName, bytes});
    } catch (error) {
        answer = {status: 1, error: String(error.message || error), installer: null};
    }
    page.packing = false;
    bar.hidden = true;
    forgetDownload();
    if (answer.status !== 0 || !answer.installer) {
        say('make-status', 'No installer was made.');
        say('make-alert', 'The installer could not be made:');
        $('refusal').textContent = answer.error;
        $('refusal').hidden = false;
        updateMake();
        return;
    }
    const name = answer.out.trim() || `${answer.name}.exe`;
    const type = 'application/vnd.microsoft.portable-executable';
    const url = URL.createObjectURL(new Blob([answer.installer], {type}));
    page.download = {url, name};
    page.lastPack = {ms: answer.ms, pageMs: performance.now() - asked, size: answer.installer.byteLength, compressed};
    const link = $('download');
    link.href = url;
    link.download = name;
    link.textContent = `Download ${name}`;
    say('download-note', `${bytesText(answer.installer.byteLength)}, made in ${Math.round(page.lastPack.pageMs)} ms.`);
    $('download-row').hidden = false;
    say('make-status', `${name} is ready to download.`);
    updateMake();
    link.focus();
}

// Start ------------------------------------------------------------------------------------------------------

function setUp() {
    setUpIntake();
    for (const radio of document.querySelectorAll('input[name=mode]'))
        radio.addEventListener('change', () => setMode(radio.value, true));
    $('description').addEventListener('input', textChanged);
    $('make').addEventListener('click', make);
    startWorker();
}

setUp();
