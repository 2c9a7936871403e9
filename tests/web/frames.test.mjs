// The frames of the WebAssembly build are the Linux build's: the headless
// renderer compiled to WebAssembly, run under node, against qvo-render.
import assert from 'node:assert/strict';
import {execFile} from 'node:child_process';
import path from 'node:path';
import {test} from 'node:test';
import {promisify} from 'node:util';

import {buildDir, webBuildDir} from './harness.mjs';

const run = promisify(execFile);

test('the SIMD row converters and noise give their references\' bytes in WebAssembly', async () => {
  const {stdout} = await run(process.execPath, [path.join(webBuildDir, 'qvo-simdtests.js')], {maxBuffer: 4 << 20});
  assert.match(stdout, /\[  PASSED  \] 5 tests\./);
});

test('every frame at 10 fps has the MD5 qvo-render gives', {timeout: 600000}, async () => {
  const pack = path.join(buildDir, 'QuelVarnOssa.dat');
  const [wasm, linux] = await Promise.all([
    run(process.execPath, [path.join(webBuildDir, 'qvo-framemd5.js'), pack, '10'], {maxBuffer: 16 << 20}),
    run(path.join(buildDir, 'qvo-render'), ['--pack', pack, '--fps', '10', '--md5'], {maxBuffer: 16 << 20}),
  ]);
  const wasmLines = wasm.stdout.trim().split('\n');
  const linuxLines = linux.stdout.trim().split('\n');
  assert.ok(linuxLines.length > 1500, `${linuxLines.length} frames`);
  assert.equal(wasmLines.length, linuxLines.length, 'as many frames');
  const first = wasmLines.findIndex((line, i) => line !== linuxLines[i]);
  assert.equal(first, -1, `first differing frame: ${wasmLines[first]} vs ${linuxLines[first]}`);
});
