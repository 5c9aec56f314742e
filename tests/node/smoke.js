// The pinned node-simconnect loads, at the version package.json pins, and offers what the tests
// use: open() and the KittyHawk protocol (5).
'use strict';
const assert = require('node:assert/strict');
const pinned = require('./package.json').dependencies['node-simconnect'];
const { version } = require('node-simconnect/package.json');
const { open, Protocol } = require('node-simconnect');

assert.equal(version, pinned, `node-simconnect ${version} is installed, package.json pins ${pinned}: run scripts/install-deps`);
assert.equal(typeof open, 'function');
assert.equal(Protocol.KittyHawk, 5);
console.log(`node-simconnect ${version}`);
