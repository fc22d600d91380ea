// An independent BACnet/IP device for vornk's end-to-end test: serves the present values of a
// values file (a JSON object with a "points" array of {type, instance, value}, as a line of
// `vornk-host decode --format json` holds) and answers Who-Is with I-Am.
// Usage: node device.js VALUES_FILE
// Listens on a free port of 127.0.0.1 and prints "listening on 127.0.0.1:PORT" once ready.
'use strict';

const fs = require('fs');
const { default: Client, ObjectType, ApplicationTag, ErrorClass, ErrorCode } = require('@bacnet-js/client');

const { TYPES, PRESENT_VALUE } = require('./object_types');
const DEVICE_INSTANCE = 5157;

const values = new Map();
for (const point of JSON.parse(fs.readFileSync(process.argv[2], 'utf8')).points) {
  const type = TYPES[point.type];
  const binary = type === ObjectType.BINARY_INPUT || type === ObjectType.BINARY_OUTPUT;
  const value = typeof point.value === 'string' ? Number(point.value.replace('inf', 'Infinity')) : point.value;
  values.set(`${type}:${point.instance}`, binary
    ? { type: ApplicationTag.ENUMERATED, value }
    : { type: ApplicationTag.REAL, value });
}

function serve(port) {
  const client = new Client({ port, interface: '127.0.0.1', reuseAddr: false });
  client.on('error', (error) => {
    if (error.code === 'EADDRINUSE') {
      client.close();
      serve(port + 1);
    } else {
      console.error(error);
      process.exit(1);
    }
  });
  client.on('listening', () => console.log(`listening on 127.0.0.1:${port}`));
  client.on('readProperty', (request) => {
    const { objectId, property } = request.payload;
    const value = values.get(`${objectId.type}:${objectId.instance}`);
    if (value === undefined || property.id !== PRESENT_VALUE) {
      client.errorResponse(request.header.sender, request.service, request.invokeId,
        ErrorClass.OBJECT, ErrorCode.UNKNOWN_OBJECT);
      return;
    }
    client.readPropertyResponse(request.header.sender, request.invokeId, objectId, property, [value]);
  });
  client.on('whoIs', (request) => {
    client.iAmResponse(request.header.sender, DEVICE_INSTANCE, 3, 0xffff);
  });
}

// A port away from 47808, whose own traffic the library filters.
serve(47900 + Math.floor(Math.random() * 2000));
