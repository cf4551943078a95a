// The package maker's worker: it holds the packer's module (packer/web/WebMain.cpp) and the files
// the page hands over, answers the page's checks, and makes the installer, all off the page's own
// thread. With threads (a cross-origin isolated page) the installer is made on a thread of the
// module's while this worker goes on answering; without, the page's checks wait until it is made.
'use strict';

let packer = null;
let packing = null; // {id, started} while an installer is being made
const held = [];    // messages that change the files, kept until the installer is made

const post = (message, transfer) => self.postMessage(message, transfer || []);

// The module's memory as it is now: another thread may have grown it since the last look.
function memory() {
    return packer.wasmMemory ? new Uint8Array(packer.wasmMemory.buffer) : packer.HEAPU8;
}

// Calls `call` with each text as a UTF-8 string in the module's memory.
function withTexts(texts, call) {
    const pointers = texts.map((text) => {
        const size = packer.lengthBytesUTF8(text) + 1;
        const pointer = packer._malloc(size);
        if (!pointer)
            throw new Error('no memory for a text of ' + size + ' bytes');
        packer.stringToUTF8(text, pointer, size);
        return pointer;
    });
    try {
        return call(...pointers);
    } finally {
        pointers.forEach((pointer) => packer._free(pointer));
    }
}

// Calls `call` with bytes (a Uint8Array) in the module's memory, and their size.
function withBytes(bytes, call) {
    const pointer = packer._malloc(Math.max(bytes.length, 1));
    if (!pointer)
        throw new Error('no memory for ' + bytes.length + ' bytes');
    try {
        memory().set(bytes, pointer);
        return call(pointer, bytes.length);
    } finally {
        packer._free(pointer);
    }
}

const json = (pointer) => JSON.parse(packer.UTF8ToString(pointer));

// The bytes a call handed over, copied out of the module's memory, and let go of there.
function handed() {
    const pointer = packer._tazel_handed_data() >>> 0;
    const size = packer._tazel_handed_size() >>> 0;
    const bytes = memory().slice(pointer, pointer + size);
    packer._tazel_handed_free();
    return bytes;
}

function art(what, source, size) {
    const told = withTexts([what, source], (w, s) => json(packer._tazel_art(w, s, size)));
    return told.usable ? {type: told.type, bytes: handed()} : null;
}

async function start(threads) {
    const name = threads ? 'tazelpack-web' : 'tazelpack-web-single';
    importScripts(name + '.js');
    packer = await self.TazelPackModule({
        // The module's own threads load the same script.
        mainScriptUrlOrBlob: name + '.js',
        // Without threads, the installer is made on this worker's thread, which says how far it is.
        onProgress: (done, total) => post({type: 'progress', done, total}),
        print: (text) => console.log(text),
        printErr: (text) => console.warn(text),
        // With threads, the installer is made on a thread of the module's, which says when it is done.
        onPacked: () => finishPacking(),
        // A module that stops is of no more use: the page is told, and keeps what it has.
        onAbort: (what) => post({type: 'stopped', message: String(what)}),
    });
    const told = json(packer._tazel_start());
    const picture = art('picture', '', 0);
    const icon = art('icon', '', 16);
    post({type: 'ready', ...told, picture, icon});
}

// Takes the files into the module's memory, a piece at a time, so that no file is held twice.
async function hold(files) {
    const refused = [];
    for (const {path, file} of files) {
        const pointer = withTexts([path], (p) => packer._tazel_hold(p, file.size)) >>> 0;
        if (!pointer) {
            refused.push({path, reason: 'memory'});
            continue;
        }
        const piece = 4 << 20;
        try {
            for (let at = 0; at < file.size; at += piece) {
                const bytes = new Uint8Array(await file.slice(at, at + piece).arrayBuffer());
                memory().set(bytes, pointer + at);
            }
        } catch (error) {
            refused.push({path, reason: String(error.message || error)});
        }
    }
    return refused;
}

function check(bytes) {
    return withBytes(bytes, (pointer, size) => json(packer._tazel_check(pointer, size)));
}

function form(keys, files) {
    packer._tazel_form_begin();
    for (const [key, value] of keys)
        withTexts([key, value], (k, v) => packer._tazel_form_key(k, v));
    for (const [name, source] of files)
        withTexts([name, source], (n, s) => packer._tazel_form_file(n, s));
    return json(packer._tazel_form_end());
}

function finishPacking() {
    if (!packing)
        return true;
    const result = packer._tazel_pack_result();
    if (!result)
        return false;
    const told = json(result);
    const written = packer.written;
    packer.written = null;
    const installer = told.status === 0 && written ? written.bytes : new Uint8Array(0);
    const ms = performance.now() - packing.started;
    post({type: 'packed', id: packing.id, ...told, ms, installer: installer.length ? installer : null},
         installer.length ? [installer.buffer] : []);
    packing = null;
    // In their order, after what the worker is doing now: never beside another answer.
    held.splice(0).forEach(enqueue);
    return true;
}

// The description's bytes are held at `heldAt` (from the top), which is `path` from its folder.
function pack(id, heldAt, path, bytes) {
    if (packing) {
        post({type: 'packed', id, status: 1, error: 'an installer is being made: one at a time', installer: null});
        return;
    }
    const pointer = withTexts([heldAt], (p) => packer._tazel_hold(p, bytes.length)) >>> 0;
    if (!pointer) {
        post({type: 'packed', id, status: 1, error: 'not enough memory to hold the description', installer: null});
        return;
    }
    memory().set(bytes, pointer);
    packing = {id, started: performance.now()};
    packer.written = null;
    withTexts([path], (p) => packer._tazel_pack(p));
    if (finishPacking())
        return;
    // On a thread of the module's, which says when it is done (onPacked); its progress is read
    // from here meanwhile.
    let last = -1;
    const watch = setInterval(() => {
        if (!packing)
            return clearInterval(watch);
        const done = packer._tazel_progress_done();
        const total = packer._tazel_progress_total();
        if (total > 0 && done !== last) {
            last = done;
            post({type: 'progress', done, total});
        }
    }, 50);
}

async function answer(message) {
    const {type, id} = message;
    if (packing && (type === 'files' || type === 'forget' || type === 'folder')) {
        held.push(message);
        return;
    }
    switch (type) {
    case 'start':
        await start(message.threads);
        return;
    case 'forget':
        packer._tazel_forget();
        return;
    case 'folder':
        withTexts([message.folder], (f) => packer._tazel_folder(f));
        return;
    case 'files':
        post({type: 'held', id, refused: await hold(message.files)});
        return;
    case 'check':
        post({type: 'checked', id, ...check(message.bytes)});
        return;
    case 'form': {
        const written = form(message.keys, message.files);
        const bytes = new TextEncoder().encode(written.text);
        post({type: 'formed', id, ...written, ...check(bytes)});
        return;
    }
    case 'kind':
        post({type: 'kind', id, kind: withTexts([message.name], (n) => json(packer._tazel_kind(n)))});
        return;
    case 'art':
        post({type: 'art', id, what: message.what, art: art(message.what, message.source, message.size)});
        return;
    case 'layout':
        post({type: 'layout', id, layout: JSON.parse(packer.UTF8ToString(packer._tazel_layout(message.dpi)))});
        return;
    case 'pack':
        pack(id, message.held, message.path, message.bytes);
        return;
    }
}

// One message at a time, in order: a file is held before a check that reads it.
let queue = Promise.resolve();

function enqueue(message) {
    queue = queue.then(() => answer(message)).catch((error) => {
        const text = String(error && error.message || error);
        post({type: 'failed', id: message.id, what: message.type, message: text});
    });
}

self.onmessage = (event) => enqueue(event.data);
