// The page: three panels (pack, unpack, convert texts) that hand the files
// and options to window.korvid and window.morva, show the console's lines,
// offer the outputs for download, draw the BK's memory for each image and
// show a text as the BK shows it.
(function () {
  'use strict';

  const texts = {
    ru: {
      skip: 'К содержимому', title: 'korvid и morva',
      tagline: 'Упаковщик программ и конвертор текстов для БК-0010 и БК-0011',
      local: 'Всё делается здесь, в браузере: файлы никуда не отправляются, страница не связывается ни с одним сервером и работает без сети.',
      tasks: 'Что сделать', tabPack: 'Упаковать', tabUnpack: 'Распаковать', tabConvert: 'Тексты',
      packTitle: 'Упаковать программу БК',
      packIntro: 'Файл БК (.bin) упаковывается в самораспаковывающийся образ, который проверяется на модели PDP-11 до того, как его можно скачать.',
      packFiles: 'Выберите файлы БК или перетащите их сюда', options: 'Параметры', method: 'Метод (-t)',
      optData: '-d: это данные, распаковщик возвращается, а не запускает программу (Dorvik, Sokol)',
      optLong: '-l: длинный распаковщик (Dorvik)', optRaw: '-r: без 4-байтового заголовка файла БК',
      optWork: '-w: конец рабочей области Dorvik, восьмеричный (пусто: по умолчанию)',
      optAddress: '-a: адрес загрузки файла без заголовка, восьмеричный (пусто: 01000)',
      addressNote: 'Ключ -a консоли: адрес, с которого грузится файл без заголовка БК (при распаковке — образ, который сам своего адреса не хранит). Файлу с заголовком нужен его собственный адрес.',
      unpackTitle: 'Распаковать образ', unpackFiles: 'Выберите образы или перетащите их сюда',
      convertTitle: 'Преобразовать тексты',
      convertFiles: 'Выберите тексты или перетащите их сюда (для набора BASIC ASC: заголовок и все части)',
      inputMode: 'Входной формат (-i)', outputMode: 'Выходной формат (-o)',
      modeA: 'a: текст ПК, кодировка определяется сама', modeU: 'u: Unicode (UTF-16LE или UTF-8)',
      modeD: 'd: Edasp (стандарт)', modeB: 'b: набор BASIC ASC',
      optTab: '-t: ширина табуляции входного текста, 2–16 (пусто: 4 для ПК, 8 для БК)',
      footer: 'Сообщения korvid и morva — те же, что на консоли, по-русски.',
      loading: 'Загрузка…', ready: 'Готово.', working: 'Обработка: {0}…',
      badAddress: 'Адрес: восьмеричные цифры, от 0 до 0177777.',
      download: 'Скачать {0} ({1})', downloadZip: 'Скачать всё одним zip: {0} ({1})',
      bytes: (n) => n + ' ' + plural(n, 'байт', 'байта', 'байт'),
      files: (n) => n + ' ' + plural(n, 'файл', 'файла', 'файлов'),
      proven: 'Образ проверен на модели PDP-11: он распаковывается в исходные данные.',
      noDownload: 'Файла нет: korvid его не записал бы.', noOutput: 'Выходных файлов нет.',
      tooLargeText: 'Файл {0} больше 16 МиБ: страница таких не берёт (на консоли morva их преобразует).',
      mapTitle: 'Память БК (0–0177777) для {0}',
      mapSummary: 'Карта памяти БК: {0}.',
      laneBk: 'БК', laneData: 'данные', laneImage: 'образ', laneWork: 'распаковщик',
      kData: 'Данные (распакованная программа)', kImage: 'Образ, как он загружен',
      kWork: 'Рабочая область Dorvik', kMargin: 'Запас Sokol над программой',
      kStack: 'Стек, который использует распаковщик', kSystem: 'Системная область и стек БК',
      kScreen: 'Экран БК-0010', kIo: 'Страница ввода-вывода (регистры)',
      viewTitle: 'Как на БК: {0}', viewPc: 'Текст на ПК (UTF-8)', viewBk: 'Экран БК, 64 колонки',
      viewIn: 'Вход', viewOut: 'Выход', viewNone: 'Нет текста: файл не преобразовался.',
      outputsList: 'Выходные файлы', cannotRead: 'Браузер не смог прочитать файл {0}.',
    },
    en: {
      skip: 'Skip to content', title: 'korvid and morva',
      tagline: 'Program packer and text converter for the BK-0010 and BK-0011',
      local: 'Everything happens here, in your browser: no file is sent anywhere, the page contacts no server and works offline.',
      tasks: 'Task', tabPack: 'Pack', tabUnpack: 'Unpack', tabConvert: 'Texts',
      packTitle: 'Pack a BK program',
      packIntro: 'A BK file (.bin) is packed into a self-extracting image, which is proven on the PDP-11 model before you can download it.',
      packFiles: 'Choose BK files or drop them here', options: 'Options', method: 'Method (-t)',
      optData: '-d: the file is data; the unpacker returns instead of starting it (Dorvik, Sokol)',
      optLong: '-l: long unpacker (Dorvik)', optRaw: '-r: without the 4-byte BK file header',
      optWork: '-w: end of Dorvik\'s work area, octal (empty: the default)',
      optAddress: '-a: load address of a file without a header, octal (empty: 01000)',
      addressNote: 'The console\'s -a: the address a file without a BK header loads at (when unpacking, an image that does not record its own). A file with a header keeps its own address.',
      unpackTitle: 'Unpack an image', unpackFiles: 'Choose images or drop them here',
      convertTitle: 'Convert texts',
      convertFiles: 'Choose texts or drop them here (for a BASIC ASC set: the header and all parts)',
      inputMode: 'Input format (-i)', outputMode: 'Output format (-o)',
      modeA: 'a: PC text, encoding detected', modeU: 'u: Unicode (UTF-16LE or UTF-8)',
      modeD: 'd: Edasp (standard layout)', modeB: 'b: BASIC ASC set',
      optTab: '-t: tab width of the input, 2–16 (empty: 4 for PC texts, 8 for BK texts)',
      footer: 'The messages of korvid and morva are the console\'s, in Russian.',
      loading: 'Loading…', ready: 'Ready.', working: 'Working on {0}…',
      badAddress: 'Address: octal digits, 0 to 0177777.',
      download: 'Download {0} ({1})', downloadZip: 'Download all as one zip: {0} ({1})',
      bytes: (n) => n + (n === 1 ? ' byte' : ' bytes'),
      files: (n) => n + (n === 1 ? ' file' : ' files'),
      proven: 'The image passed its proof on the PDP-11 model: it unpacks to the input.',
      noDownload: 'No file: korvid would not write one.', noOutput: 'No output files.',
      tooLargeText: 'File {0} is over 16 MiB: the page does not take such files (morva on the console converts them).',
      mapTitle: 'BK memory (0–0177777) for {0}',
      mapSummary: 'Map of the BK\'s memory: {0}.',
      laneBk: 'BK', laneData: 'data', laneImage: 'image', laneWork: 'unpacker',
      kData: 'Data (the unpacked program)', kImage: 'Image as loaded',
      kWork: 'Dorvik\'s work area', kMargin: 'Sokol\'s margin above the program',
      kStack: 'Stack the unpacker uses', kSystem: 'BK system area and stack',
      kScreen: 'BK-0010 screen', kIo: 'I/O page (registers)',
      viewTitle: 'As on the BK: {0}', viewPc: 'Text on the PC (UTF-8)', viewBk: 'BK screen, 64 columns',
      viewIn: 'Input', viewOut: 'Output', viewNone: 'No text: the file was not converted.',
      outputsList: 'Output files', cannotRead: 'The browser could not read the file {0}.',
    },
  };

  function plural(n, one, few, many) {
    const lastTwo = n % 100;
    if (lastTwo >= 11 && lastTwo <= 14) return many;
    const last = n % 10;
    return last === 1 ? one : last >= 2 && last <= 4 ? few : many;
  }

  const stored = (() => { try { return localStorage.getItem('korvid.lang'); } catch (e) { return null; } })();
  let lang = stored === 'ru' || stored === 'en' ? stored
    : (navigator.languages || [navigator.language || 'ru']).some((l) => /^(ru|uk|be)\b/i.test(l)) ? 'ru' : 'en';

  function t(key, ...args) {
    const value = texts[lang][key];
    if (typeof value === 'function') return value(...args);
    return value.replace(/\{(\d)\}/g, (_, i) => args[i]);
  }

  const $ = (id) => document.getElementById(id);
  function element(tag, attributes, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(attributes || {})) {
      if (value === null || value === undefined || value === false) continue;
      if (key === 'class') node.className = value; else node.setAttribute(key, value === true ? '' : value);
    }
    for (const child of children.flat()) {
      if (child !== null && child !== undefined) node.append(child);
    }
    return node;
  }
  const SVG = 'http://www.w3.org/2000/svg';
  function svg(tag, attributes, text) {
    const node = document.createElementNS(SVG, tag);
    for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function octal(value) { return value === 0 ? '0' : '0' + value.toString(8); }

  function setStatus(text) { $('status').textContent = text; }

  // --- downloads -----------------------------------------------------------
  let blobUrls = [];
  function downloadLink(name, bytes, label) {
    const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    blobUrls.push(url);
    return element('a', { class: 'download', href: url, download: name, 'data-name': name }, label);
  }

  // --- the memory map ------------------------------------------------------
  const lanes = ['laneBk', 'laneData', 'laneImage', 'laneWork'];
  function mapAreas(layout) {
    const areas = [
      { kind: 'system', lane: 0, range: layout.system },
      { kind: 'screen', lane: 0, range: layout.screen },
      { kind: 'io', lane: 0, range: layout.io },
      { kind: 'data', lane: 1, range: layout.data },
      { kind: 'image', lane: 2, range: layout.image },
    ];
    if (layout.work) areas.push({ kind: 'work', lane: 3, range: layout.work });
    if (layout.margin) areas.push({ kind: 'margin', lane: 3, range: layout.margin });
    areas.push({ kind: 'stack', lane: 3, range: layout.stack });
    return areas;
  }
  const kindKey = { data: 'kData', image: 'kImage', work: 'kWork', margin: 'kMargin', stack: 'kStack',
                    system: 'kSystem', screen: 'kScreen', io: 'kIo' };

  function memoryMap(name, layout) {
    const areas = mapAreas(layout);
    const width = 640, left = 92, right = 628, laneHeight = 22, gap = 6, top = 6;
    const height = top + lanes.length * (laneHeight + gap) + 20;
    const x = (address) => left + (right - left) * address / 0o200000;
    const titleId = 'map-' + Math.random().toString(36).slice(2);
    const picture = svg('svg', { viewBox: `0 0 ${width} ${height}`, role: 'img', 'aria-labelledby': titleId });
    const summary = areas.map((a) => t(kindKey[a.kind]) + ' ' + octal(a.range[0]) + '–' + octal(a.range[1])).join('; ');
    picture.append(svg('title', { id: titleId }, t('mapSummary', summary)));
    lanes.forEach((key, i) => {
      const y = top + i * (laneHeight + gap);
      picture.append(svg('rect', { x: left, y, width: right - left, height: laneHeight, fill: 'none',
                                   stroke: 'currentColor', 'stroke-opacity': '.25' }));
      picture.append(svg('text', { x: left - 6, y: y + 15, 'text-anchor': 'end', class: 'lane-name' }, t(key)));
    });
    for (const area of areas) {
      const y = top + area.lane * (laneHeight + gap);
      const x0 = x(area.range[0]);
      const w = Math.max(x(area.range[1]) - x0, 2);
      picture.append(svg('rect', { x: x0, y, width: w, height: laneHeight, class: 'k-' + area.kind }));
    }
    const axis = top + lanes.length * (laneHeight + gap) + 10;
    for (let address = 0; address <= 0o200000; address += 0o40000) {
      const anchor = address === 0 ? 'start' : address === 0o200000 ? 'end' : 'middle';
      picture.append(svg('text', { x: x(address), y: axis, 'text-anchor': anchor }, octal(address)));
    }
    const list = element('ul', { class: 'map-list' }, areas.map((area) =>
      element('li', { 'data-kind': area.kind, 'data-first': octal(area.range[0]), 'data-end': octal(area.range[1]) },
        element('span', { class: 'swatch k-' + area.kind, 'aria-hidden': 'true' }),
        element('span', {}, t(kindKey[area.kind]) + ': ',
          element('span', { class: 'range' }, octal(area.range[0]) + '–' + octal(area.range[1])),
          ' (' + t('bytes', area.range[1] - area.range[0]) + ')'))));
    return element('figure', { class: 'map' }, element('figcaption', {}, t('mapTitle', name)), picture, list);
  }

  // --- a text as the BK shows it -------------------------------------------
  const isBkMode = (letter) => 'edvb'.includes(letter);
  // The letter with which morva reads back a file it wrote in `letter`.
  const readBack = (letter) => (letter === '8' ? 'u' : letter);
  const isAscPart = (name) => / #[0-9]+\.bin$/i.test(name);

  // The text of files in a mode as morva gives it in UTF-8, or null.
  async function asUtf8(files, letter) {
    if (letter === '8') return new TextDecoder('utf-8').decode(files[0].data);
    const result = await window.morva.convert({ input: letter, output: '8', files });
    if (!result.ok || result.files.length === 0) return null;
    return new TextDecoder('utf-8').decode(result.files[0].data);
  }

  function bkScreen(text) {
    const rows = [];
    for (const line of text.split(/\r\n|\n|\r/)) {
      const characters = Array.from(line);
      if (characters.length === 0) rows.push('');
      for (let i = 0; i < characters.length; i += 64) rows.push(characters.slice(i, i + 64).join(''));
    }
    if (rows.length > 1 && rows[rows.length - 1] === '') rows.pop();
    return rows.join('\n');
  }

  function textPane(caption, letter, text) {
    const bk = isBkMode(letter);
    const pre = text === null
      ? element('p', {}, t('viewNone'))
      : element('pre', { class: bk ? 'bk-screen' : 'pc-text', tabindex: '0', 'aria-label': caption,
                         'data-columns': bk ? '64' : null }, bk ? bkScreen(text) : text);
    return element('figure', {}, element('figcaption', {}, caption), pre);
  }

  function textView(inputFiles, request) {
    const main = inputFiles.find((file) => !(request.input === 'b' && isAscPart(file.name))) || inputFiles[0];
    const view = element('details', { class: 'text-view', 'data-file': main.name },
                         element('summary', {}, t('viewTitle', main.name)));
    let shown = false;
    view.addEventListener('toggle', async () => {
      if (!view.open || shown) return;
      shown = true;
      const converted = await window.morva.convert(Object.assign({}, request, { files: inputFiles }));
      const outputs = converted.ok ? converted.files : [];
      const outputMain = outputs.find((file) => !isAscPart(file.name));
      const left = await asUtf8(inputFiles, request.input);
      const right = outputMain ? await asUtf8(request.output === 'b' ? outputs : [outputMain], readBack(request.output)) : null;
      const caption = (side, letter) => t(side) + ': ' + t(isBkMode(letter) ? 'viewBk' : 'viewPc');
      view.append(element('div', { class: 'views' },
        textPane(caption('viewIn', request.input), request.input, left),
        textPane(caption('viewOut', request.output), request.output, right)));
    });
    return view;
  }

  // --- the panels ------------------------------------------------------------
  const state = { pack: { files: [], render: null }, unpack: { files: [], render: null },
                  convert: { files: [], render: null } };

  function readAddress(id) {
    const field = $(id);
    const value = field.value.trim();
    const error = $(id + '-error');
    if (error) error.remove();
    field.removeAttribute('aria-invalid');
    if (value === '') return { ok: true, value: undefined };
    if (/^[0-7]{1,7}$/.test(value) && parseInt(value, 8) <= 0o177777) return { ok: true, value };
    field.setAttribute('aria-invalid', 'true');
    field.insertAdjacentElement('afterend', element('p', { class: 'note', id: id + '-error', role: 'alert' }, t('badAddress')));
    return { ok: false };
  }

  function consoleBlock(lines) {
    return element('pre', { class: 'console', lang: 'ru' }, lines.join('\n'));
  }

  async function runKorvid(panel) {
    const unpack = panel === 'unpack';
    const files = state[panel].files;
    if (files.length === 0) return;
    const address = readAddress(panel + '-address');
    if (!address.ok) return;
    const method = $(panel + '-method').value;
    const options = { raw: $(panel + '-raw').checked, address: address.value };
    if (!unpack) {
      if (method !== 'BKGRANOL') options.data = $('pack-data').checked;
      if (method === 'DORVIK') {
        options.long = $('pack-long').checked;
        options.work = $('pack-work').value.trim();
      }
    }
    const runs = [];
    const limit = await window.korvid.inputLimit(unpack);
    for (const file of files) {
      setStatus(t('working', file.name));
      await new Promise((resolve) => setTimeout(resolve, 0));  // let the status show
      const request = { method, options, name: file.name };
      // A file over korvid's limit is refused by its size: it is not read.
      const size = file.size;
      let result;
      try {
        if (size >= limit) request.size = file.size; else request.data = new Uint8Array(await file.arrayBuffer());
        result = await (unpack ? window.korvid.unpack(request) : window.korvid.pack(request));
      } catch (error) {  // the browser could not read the file
        result = { ok: false, status: null, lines: [t('cannotRead', file.name) + ' ' + error.message] };
      }
      runs.push({ name: file.name, result });
    }
    state[panel].render = () => renderKorvid(panel, runs);
    render(panel);
    setStatus(t('ready'));
  }

  function renderKorvid(panel, runs) {
    return runs.map(({ name, result }) => element('article',
      { class: 'result ' + (result.ok ? 'done' : 'failed'), 'data-file': name, 'data-status': result.status },
      element('h3', {}, name),
      consoleBlock(result.lines),
      result.ok && panel === 'pack' ? element('p', { class: 'verdict' }, t('proven')) : null,
      result.file
        ? element('div', { class: 'downloads' }, downloadLink(result.name, result.file, t('download', result.name, t('bytes', result.file.length))))
        : element('p', { class: 'note' }, t('noDownload')),
      result.layout ? memoryMap(name, result.layout) : null));
  }

  async function runConvert() {
    const files = state.convert.files;
    if (files.length === 0) return;
    const request = { input: $('convert-input').value, output: $('convert-output').value };
    const tab = $('convert-tab').value.trim();
    if (tab !== '') request.tab = tab;
    const tooLarge = files.find((file) => file.size > window.morva.pageLimit);
    if (tooLarge) {
      state.convert.render = () => [element('article', { class: 'result failed', 'data-status': 'refused' },
        element('p', { role: 'alert' }, t('tooLargeText', tooLarge.name)))];
      render('convert');
      return;
    }
    setStatus(t('working', files.map((file) => file.name).join(', ')));
    await new Promise((resolve) => setTimeout(resolve, 0));
    const inputs = [];
    let result;
    try {
      for (const file of files) inputs.push({ name: file.name, data: new Uint8Array(await file.arrayBuffer()) });
      result = await window.morva.convert(Object.assign({ files: inputs }, request));
    } catch (error) {  // the browser could not read a file
      const unread = files[inputs.length];
      result = { ok: false, status: null, files: [], lines: [(unread ? t('cannotRead', unread.name) + ' ' : '') + error.message] };
    }
    state.convert.render = () => renderConvert(inputs, request, result);
    render('convert');
    setStatus(t('ready'));
  }

  function renderConvert(inputs, request, result) {
    const outputs = result.files;
    const total = outputs.reduce((sum, file) => sum + file.data.length, 0);
    let downloads;
    if (outputs.length === 1) {
      downloads = downloadLink(outputs[0].name, outputs[0].data, t('download', outputs[0].name, t('bytes', outputs[0].data.length)));
    } else if (outputs.length > 1) {
      const named = inputs.filter((file) => !(request.input === 'b' && isAscPart(file.name)));
      const zipName = (named.length === 1 ? named[0].name.replace(/\.[^.]*$/, '') : 'morva') + '.zip';
      const zip = KorvidZip.make(outputs);
      downloads = downloadLink(zipName, zip, t('downloadZip', zipName, t('files', outputs.length)));
    }
    const views = [];
    if (isBkMode(request.input) || isBkMode(request.output)) {
      const named = inputs.filter((file) => !(request.input === 'b' && isAscPart(file.name)));
      for (const file of named) {
        const own = request.input === 'b' ? inputs.filter((other) => other === file || isAscPart(other.name)) : [file];
        views.push(textView(own, request));
      }
    }
    return [element('article', { class: 'result ' + (result.ok ? 'done' : 'failed'), 'data-status': result.status },
      element('h3', {}, inputs.map((file) => file.name).join(', ')),
      consoleBlock(result.lines),
      downloads ? element('div', { class: 'downloads' }, downloads) : element('p', { class: 'note' }, t('noOutput')),
      outputs.length > 1 ? element('details', { class: 'outputs' }, element('summary', {}, t('outputsList') + ': ' + t('files', outputs.length)),
        element('ul', {}, outputs.map((file) => element('li', {}, file.name + ' (' + t('bytes', file.data.length) + ')')))) : null,
      views)];
  }

  function render(panel) {
    const box = $(panel + '-results');
    box.replaceChildren(...(state[panel].render ? state[panel].render() : []));
    box.dataset.renders = String(Number(box.dataset.renders || 0) + 1);
  }

  function rerenderAll() {
    for (const url of blobUrls) URL.revokeObjectURL(url);
    blobUrls = [];
    for (const panel of Object.keys(state)) render(panel);
  }

  const runPanel = (panel) => (panel === 'convert' ? runConvert() : runKorvid(panel));

  function takeFiles(panel, files) {
    state[panel].files = Array.from(files);
    runPanel(panel);
  }

  // Which options mean something for the method chosen.
  function updatePackOptions() {
    const method = $('pack-method').value;
    const enable = (id, on) => {
      $(id).disabled = !on;
      $(id).closest('.check, .field').classList.toggle('disabled', !on);
    };
    enable('pack-data', method !== 'BKGRANOL');
    enable('pack-long', method === 'DORVIK');
    enable('pack-work', method === 'DORVIK');
  }

  // --- language and tabs -----------------------------------------------------
  function applyLanguage() {
    document.documentElement.lang = lang;
    for (const node of document.querySelectorAll('[data-t]')) node.textContent = t(node.dataset.t);
    document.title = t('title');
    for (const button of document.querySelectorAll('#languages button')) {
      button.setAttribute('aria-pressed', String(button.dataset.lang === lang));
    }
    rerenderAll();
  }

  function selectTab(tab, focus) {
    for (const other of document.querySelectorAll('[role="tab"]')) {
      const selected = other === tab;
      other.setAttribute('aria-selected', String(selected));
      other.tabIndex = selected ? 0 : -1;
      $(other.getAttribute('aria-controls')).hidden = !selected;
    }
    if (focus) tab.focus();
  }

  function setUp() {
    const tabs = Array.from(document.querySelectorAll('[role="tab"]'));
    tabs.forEach((tab, i) => {
      tab.addEventListener('click', () => selectTab(tab, false));
      tab.addEventListener('keydown', (event) => {
        const step = { ArrowRight: 1, ArrowLeft: -1, Home: -i, End: tabs.length - 1 - i }[event.key];
        if (step === undefined) return;
        event.preventDefault();
        selectTab(tabs[(i + step + tabs.length) % tabs.length], true);
      });
    });
    selectTab(tabs[0], false);
    for (const button of document.querySelectorAll('#languages button')) {
      button.addEventListener('click', () => {
        lang = button.dataset.lang;
        try { localStorage.setItem('korvid.lang', lang); } catch (e) { /* a page from the disk may have no storage */ }
        applyLanguage();
      });
    }
    for (const panel of Object.keys(state)) {
      $(panel + '-files').addEventListener('change', (event) => takeFiles(panel, event.target.files));
      for (const control of $('panel-' + panel).querySelectorAll('fieldset select, fieldset input')) {
        control.addEventListener('change', () => runPanel(panel));
      }
    }
    for (const zone of document.querySelectorAll('.drop')) {
      const panel = zone.dataset.drop.replace('-files', '');
      zone.addEventListener('dragover', (event) => { event.preventDefault(); zone.classList.add('over'); });
      zone.addEventListener('dragleave', () => zone.classList.remove('over'));
      zone.addEventListener('drop', (event) => {
        event.preventDefault();
        zone.classList.remove('over');
        if (event.dataTransfer && event.dataTransfer.files.length > 0) takeFiles(panel, event.dataTransfer.files);
      });
    }
    $('pack-method').addEventListener('change', updatePackOptions);
    updatePackOptions();
    applyLanguage();
    setStatus(t('loading'));
    window.korvid.ready().then(() => {
      document.body.dataset.ready = 'true';
      setStatus(t('ready'));
    });
  }

  setUp();
})();
