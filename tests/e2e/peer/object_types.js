// The object types of vornk's points by the names `vornk-host decode --format json` gives them,
// and the property both npm peers read and serve.
'use strict';

const { ObjectType } = require('@bacnet-js/client');

module.exports = {
  TYPES: {
    'analog-input': ObjectType.ANALOG_INPUT,
    'analog-output': ObjectType.ANALOG_OUTPUT,
    'analog-value': ObjectType.ANALOG_VALUE,
    'binary-input': ObjectType.BINARY_INPUT,
    'binary-output': ObjectType.BINARY_OUTPUT,
  },
  PRESENT_VALUE: 85,
};
