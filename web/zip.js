// A zip archive of files stored as they are, without compression: the
// download of many outputs at once (a BASIC ASC set, many texts). Names are
// UTF-8 (general purpose flag bit 11).
const KorvidZip = (function () {
  'use strict';

  const crcTable = new Uint32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    crcTable[n] = c >>> 0;
  }

  function crc32(bytes) {
    let c = 0xffffffff;
    for (let i = 0; i < bytes.length; ++i) c = crcTable[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  }

  // MS-DOS time and date of `when`, local time, as zip keeps them.
  function dosTime(when) {
    return (when.getHours() << 11) | (when.getMinutes() << 5) | (when.getSeconds() >> 1);
  }
  function dosDate(when) {
    return ((Math.max(when.getFullYear(), 1980) - 1980) << 9) | ((when.getMonth() + 1) << 5) | when.getDate();
  }

  // files: [{name, data: Uint8Array}]; returns the archive's bytes.
  function make(files, when) {
    when = when || new Date();
    const encoder = new TextEncoder();
    const entries = files.map((file) => ({ name: encoder.encode(file.name), data: file.data, crc: crc32(file.data) }));
    let localSize = 0;
    let centralSize = 0;
    for (const entry of entries) {
      localSize += 30 + entry.name.length + entry.data.length;
      centralSize += 46 + entry.name.length;
    }
    const out = new Uint8Array(localSize + centralSize + 22);
    const view = new DataView(out.buffer);
    let at = 0;
    const u16 = (value) => { view.setUint16(at, value, true); at += 2; };
    const u32 = (value) => { view.setUint32(at, value, true); at += 4; };
    const time = dosTime(when);
    const date = dosDate(when);
    // The fields that the local header and the central record share.
    const common = (entry) => {
      u16(20); u16(0x0800); u16(0); u16(time); u16(date);
      u32(entry.crc); u32(entry.data.length); u32(entry.data.length);
      u16(entry.name.length); u16(0);
    };
    const offsets = [];
    for (const entry of entries) {
      offsets.push(at);
      u32(0x04034b50);
      common(entry);
      out.set(entry.name, at); at += entry.name.length;
      out.set(entry.data, at); at += entry.data.length;
    }
    const centralStart = at;
    entries.forEach((entry, i) => {
      u32(0x02014b50);
      u16(20);
      common(entry);
      u16(0); u16(0); u16(0); u32(0); u32(offsets[i]);
      out.set(entry.name, at); at += entry.name.length;
    });
    const centralLength = at - centralStart;
    u32(0x06054b50);
    u16(0); u16(0); u16(entries.length); u16(entries.length);
    u32(centralLength); u32(centralStart); u16(0);
    return out;
  }

  return { make, crc32 };
})();
