// The script interface of korvid and morva in the browser: window.korvid.pack,
// window.korvid.unpack and window.morva.convert. Each call writes its input
// files into a fresh folder of the module's in-memory file system, runs the
// console program's own entry function there with the command line the
// console would get, and reads back the console text and the files the run
// wrote. Nothing leaves the browser.
(function (global) {
  'use strict';

  let modulePromise = null;
  function wasmModule() {
    if (modulePromise === null) modulePromise = createKorvidWasm();
    return modulePromise;
  }

  // morva reads texts of any size on the console; the page holds every
  // input and output in memory and takes files up to this size.
  const MORVA_PAGE_LIMIT = 16 * 1024 * 1024;

  let runNumber = 0;

  function lines(text) {
    const all = text.split('\n');
    if (all[all.length - 1] === '') all.pop();
    return all;
  }

  // Calls an entry function with argv as C strings (UTF-8).
  function callEntry(M, entry, argv) {
    const pointers = argv.map((arg) => {
      const size = M.lengthBytesUTF8(arg) + 1;
      const at = M._malloc(size);
      M.stringToUTF8(arg, at, size);
      return at;
    });
    const table = M._malloc(4 * (pointers.length + 1));
    const heap = new Uint32Array(M.HEAPU8.buffer, table, pointers.length + 1);
    pointers.forEach((at, i) => { heap[i] = at; });
    heap[pointers.length] = 0;
    try {
      return entry(pointers.length, table);
    } finally {
      pointers.forEach((at) => M._free(at));
      M._free(table);
    }
  }

  function byNameBytes(a, b) {
    // The order of the names' UTF-8 bytes, as the console lists files.
    const x = new TextEncoder().encode(a.name);
    const y = new TextEncoder().encode(b.name);
    for (let i = 0; i < Math.min(x.length, y.length); ++i) {
      if (x[i] !== y[i]) return x[i] - y[i];
    }
    return x.length - y.length;
  }

  // Runs `program` ('korvid' or 'morva') with `args` on `inputs` ([{name,
  // data}], data a Uint8Array, or a size alone for a stand-in: a file of
  // that size without contents, for a run that refuses it by its size).
  // Resolves to {status, text, outputs: [{name, data}], layout}.
  async function run(program, args, inputs) {
    const M = await wasmModule();
    const folder = '/run' + (++runNumber);
    M.FS.mkdir(folder);
    M.FS.chdir(folder);
    try {
      for (const input of inputs) {
        if (input.data !== undefined) {
          M.FS.writeFile(input.name, input.data);
        } else {
          M.FS.writeFile(input.name, new Uint8Array(0));
          M.FS.lookupPath(input.name).node.usedBytes = input.size;
        }
      }
      const entry = program === 'korvid' ? M._WebRunKorvid : M._WebRunMorva;
      const status = callEntry(M, entry, [program].concat(args));
      const text = M.UTF8ToString(M._WebConsoleText());
      const layoutText = program === 'korvid' ? M.UTF8ToString(M._WebLayout()) : '';
      const inputNames = new Set(inputs.map((input) => input.name));
      const outputs = [];
      for (const name of M.FS.readdir('.')) {
        if (name === '.' || name === '..' || inputNames.has(name)) continue;
        if (!M.FS.isFile(M.FS.stat(name).mode)) continue;
        outputs.push({ name: name, data: M.FS.readFile(name) });
      }
      outputs.sort(byNameBytes);
      return { status, text, outputs, layout: layoutText ? JSON.parse(layoutText) : null };
    } finally {
      M.FS.chdir('/');
      for (const name of M.FS.readdir(folder)) {
        if (name !== '.' && name !== '..') M.FS.unlink(folder + '/' + name);
      }
      M.FS.rmdir(folder);
    }
  }

  // An octal address as the console writes them: a number, or octal digits.
  function octalAddress(value, what) {
    if (typeof value === 'number' && Number.isInteger(value) && value >= 0 && value <= 0o177777) {
      return value;
    }
    if (typeof value === 'string' && /^[0-7]{1,6}$/.test(value) && parseInt(value, 8) <= 0o177777) {
      return parseInt(value, 8);
    }
    throw new RangeError(what + ' must be an octal address from 0 to 0177777');
  }

  async function korvidRun(unpack, request) {
    const options = request.options || {};
    const name = request.name || 'file.bin';
    if (name.includes('/') || name === '.' || name === '..') throw new RangeError('name must be a file name');
    const sizeOnly = request.data === undefined && typeof request.size === 'number';
    if (!sizeOnly && !(request.data instanceof Uint8Array)) throw new TypeError('data must be a Uint8Array');
    const args = ['-t', String(request.method)];
    if (unpack) args.push('-u');
    if (options.data) args.push('-d');
    if (options.long) args.push('-l');
    if (options.raw) args.push('-r');
    if (options.work !== undefined && options.work !== null && options.work !== '') {
      args.push('-w', typeof options.work === 'number' ? options.work.toString(8) : String(options.work));
    }
    // -a: the load address of a file without a header, as on the console.
    if (options.address !== undefined && options.address !== null && options.address !== '') {
      args.push('-a', octalAddress(options.address, 'address').toString(8).padStart(6, '0'));
    }
    args.push('--', name);
    const M = await wasmModule();
    // korvid refuses a file this large by its size, before reading it: the
    // run gets a stand-in of that size, and the bytes stay where they are.
    const size = sizeOnly ? request.size : request.data.length;
    let input;
    if (size >= M._WebKorvidInputLimit(unpack ? 1 : 0)) {
      input = { name, size };
    } else if (sizeOnly) {
      throw new TypeError('data must be a Uint8Array for a file korvid reads');
    } else {
      input = { name, data: request.data };
    }
    const result = await run('korvid', args, [input]);
    const output = result.outputs[0] || null;
    return {
      ok: result.status === 0,
      status: result.status,
      name: output ? output.name : null,
      file: output ? output.data : null,
      lines: lines(result.text),
      layout: result.layout,
    };
  }

  // A part of a BASIC ASC set ("NAME  .ASC #000.bin"): morva reads it beside
  // its header file and must not be given it as an input of its own.
  function isAscPart(name) {
    return / #[0-9]+\.bin$/i.test(name);
  }

  async function convert(request) {
    const files = request.files || [{ name: request.name || 'text.txt', data: request.data }];
    const args = [];
    if (request.input) args.push('-i', String(request.input));
    if (request.output) args.push('-o', String(request.output));
    if (request.tab !== undefined && request.tab !== null && request.tab !== '') args.push('-t', String(request.tab));
    for (const file of files) {
      if (!(file.data instanceof Uint8Array)) throw new TypeError('data must be a Uint8Array');
      if (file.name.includes('/') || file.name === '.' || file.name === '..') throw new RangeError('name must be a file name');
      if (file.data.length > MORVA_PAGE_LIMIT) {
        return {
          ok: false, status: 1, files: [], tooLarge: file.name,
          lines: ['Ошибка! ' + file.name + ' больше 16 МиБ: страница таких файлов не берёт.'],
        };
      }
    }
    const setInput = String(request.input || 'a').toLowerCase().startsWith('b');
    const named = files.filter((file) => !(setInput && isAscPart(file.name)));
    args.push('--');
    for (const file of named) args.push(file.name);
    const result = await run('morva', args, files);
    return {
      ok: result.status === 0,
      status: result.status,
      files: result.outputs,
      lines: lines(result.text),
    };
  }

  global.korvid = {
    pack: (request) => korvidRun(false, request),
    unpack: (request) => korvidRun(true, request),
    ready: () => wasmModule().then(() => true),
    // korvid refuses a file of this size or more before reading it: a
    // program to pack, or (unpack true) an image to unpack.
    inputLimit: (unpack) => wasmModule().then((M) => M._WebKorvidInputLimit(unpack ? 1 : 0)),
  };
  global.morva = { convert: convert, pageLimit: MORVA_PAGE_LIMIT };
})(typeof window !== 'undefined' ? window : self);
